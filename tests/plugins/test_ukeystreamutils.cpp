#include "UKeyStreamUtils.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "ByteText.h"
#include "UFileSpecCore.h"

namespace {

const UKey kRB('R', 'B');
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(InRectArray, ReadsBoxes) {
    struct Case {
        std::vector<double> sides;  // written the way the job file writes a box
        std::optional<vnu::Rect2D> expected;
        UKey key = kRB;
    };
    const std::vector<Case> cases = {
        {{0, 0, 210, 297}, vnu::Rect2D{0, 0, 210, 297}},
        {{-105, -148.5, 105, 148.5}, vnu::Rect2D{-105, -148.5, 210, 297}},
        {{-kInf, 0, 10, 10}, vnu::kRect2DNull},
        {{0, 0, 10, kInf}, vnu::kRect2DNull},
        {{kInf, kInf, kInf, kInf}, vnu::kRect2DNull},
        {{5, 6}, vnu::Rect2D{5, 6, -5, -6}},           // missing sides read as 0
        {{0, 0, 1, 1}, std::nullopt, UKey('R', 'T')},  // absent: the box is left alone
    };
    for (const auto& c : cases) {
        std::ostringstream os;
        {
            UKeyOutStream out(os, 0);
            out << UKeyOutStream::StartArray(kRB);
            for (double d : c.sides) out << d;
        }
        std::istringstream is(os.str());
        UKeyInStream in(is);
        vnu::Rect2D rect{1, 2, 3, 4};
        EXPECT_EQ(UKeyStreamUtils::InRectArray(in, c.key, rect), c.expected.has_value());
        EXPECT_EQ(rect, c.expected.value_or(vnu::Rect2D{1, 2, 3, 4})) << c.sides.size();
        EXPECT_EQ(in.Depth(), 1);
    }
}

TEST(OutFileSpec, WritesThePathOrTheEmptyString) {
    std::ostringstream os;
    {
        UKeyOutStream out(os, 0);
        UKeyStreamUtils::OutFileSpec(out, UKey('F', 'S'), UFileSpecCore("/jobs/a.pdf", nullptr));
        UKeyStreamUtils::OutFileSpec(out, UKey('T', 'F'), UFileSpecCore());
    }
    const std::string bytes = os.str();
    // An empty file spec still gives a field: key, length 0, string type.
    EXPECT_EQ(bytes.substr(bytes.size() - 4), testing_support::bytes("'TF' 00 05"));
    std::istringstream is(bytes);
    UKeyInStream in(is);
    ustring fs, tf = "x";
    in >> UKey('F', 'S') >> fs >> UKey('T', 'F') >> tf;
    EXPECT_EQ(std::tuple(fs, tf), std::tuple(ustring("/jobs/a.pdf"), ustring()));
}

}  // namespace
