#include "UKeyStreamUtils.h"

#include <gtest/gtest.h>

#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "UFileSpecCore.h"

namespace {

const UKey kRB('R', 'B');
constexpr double kInf = std::numeric_limits<double>::infinity();

// Written the way the job file writes a box: x, y, x + width, y + height.
std::string WithArray(const std::vector<double>& sides) {
    std::ostringstream os;
    UKeyOutStream out(os, 0);
    out << UKeyOutStream::StartArray(kRB);
    for (double d : sides) out << d;
    out.Pop();
    out.Flush();
    return os.str();
}

TEST(InRectArray, ReadsBoxes) {
    struct Case {
        const char* name;
        std::vector<double> sides;
        vnu::Rect2D expected;
    };
    const std::vector<Case> cases = {
        {"A4 at the origin", {0, 0, 210, 297}, {0, 0, 210, 297}},
        {"offset box", {-105, -148.5, 105, 148.5}, {-105, -148.5, 210, 297}},
        {"infinite left", {-kInf, 0, 10, 10}, vnu::kRect2DNull},
        {"infinite bottom", {0, 0, 10, kInf}, vnu::kRect2DNull},
        {"null box written as is", {kInf, kInf, kInf, kInf}, vnu::kRect2DNull},
        {"short array leaves missing sides at 0", {5, 6}, {5, 6, -5, -6}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::istringstream is(WithArray(c.sides));
        UKeyInStream in(is);
        vnu::Rect2D rect{1, 2, 3, 4};
        EXPECT_TRUE(UKeyStreamUtils::InRectArray(in, kRB, rect));
        EXPECT_EQ(rect, c.expected);
        EXPECT_EQ(in.Depth(), 1);
    }
}

TEST(InRectArray, AbsentKeyLeavesTheBox) {
    std::istringstream is(WithArray({0, 0, 1, 1}));
    UKeyInStream in(is);
    vnu::Rect2D rect{1, 2, 3, 4};
    EXPECT_FALSE(UKeyStreamUtils::InRectArray(in, UKey('R', 'T'), rect));
    EXPECT_EQ(rect, (vnu::Rect2D{1, 2, 3, 4}));
}

TEST(InRectArray, OversizedSideFails) {
    // Nine bytes of double data where eight at most fit.
    std::ostringstream os;
    {
        UKeyOutStream out(os, 0);
        out << UKeyOutStream::StartArray(kRB);
        const char nine[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
        out.WriteField(nine, 9, UKeyStream::eType_Double);
    }
    std::istringstream is(os.str());
    UKeyInStream in(is);
    vnu::Rect2D rect;
    EXPECT_THROW(UKeyStreamUtils::InRectArray(in, kRB, rect), std::runtime_error);
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
    EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("TF\x00\x05", 4));
    std::istringstream is(bytes);
    UKeyInStream in(is);
    ustring fs, tf = "x";
    in >> UKey('F', 'S') >> fs >> UKey('T', 'F') >> tf;
    EXPECT_EQ(fs, "/jobs/a.pdf");
    EXPECT_EQ(tf, "");
}

}  // namespace
