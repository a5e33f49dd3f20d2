#include "BTransparencyFlattener.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>

#include "UKeyStream.h"
#include "job_test_support.h"

using job_test::Stream;

TEST(BTransparencyFlattener, RecordHoldsItsKeysInOrder) {
    BDocumentTransparencyFlattener f;
    f.SetEnabled(true);
    f.SetName("not stored");
    for (int i = 0; i < BTransparencyFlattener::kValueCount; ++i) f.SetValue(i, 10.0 + i);
    f.SetOption(0, true);
    f.SetOption(7, true);
    std::string bytes = Stream([&](UKeyOutStream& out) { f.FlattenerKeyStreamOut(out); });

    std::istringstream is(bytes);
    UKeyInStream in(is);
    ASSERT_TRUE(in.Exists(UKey(180)));
    in >> UKeyInStream::StartRecord(UKey(180));
    std::vector<unsigned short> keys;
    for (const auto& field : in.IndexedFields()) keys.push_back(field.key);
    const std::vector<unsigned short> expected = {3201, 3202, 3220, 3221, 3222, 3223, 3210,
                                                  3211, 3212, 3213, 3214, 3215, 3216, 3217};
    EXPECT_EQ(keys, expected);

    bool enabled = false;
    in >> UKey(3201) >> enabled;
    EXPECT_TRUE(enabled);
    const unsigned short valueKeys[] = {3202, 3220, 3221, 3222, 3223};
    for (int i = 0; i < 5; ++i) {
        double v = 0;
        in >> UKey(valueKeys[i]) >> v;
        EXPECT_EQ(v, 10.0 + i);
    }
    for (int i = 0; i < 8; ++i) {
        bool option = true;
        in >> UKey(static_cast<unsigned short>(3210 + i)) >> option;
        EXPECT_EQ(option, i == 0 || i == 7) << i;
    }
    in.Pop();
    EXPECT_EQ(bytes.find("not stored"), std::string::npos);
}

TEST(GetPageTransparencyFlattener, LastOneForThePageWins) {
    auto make = [](int page) {
        auto f = std::make_shared<BTransparencyFlattener>();
        f->SetPage(page);
        return f;
    };
    auto first = make(3);
    auto other = make(4);
    auto later = make(3);
    BTransparencyFlattenerVector flatteners = {first, other, later, nullptr};
    EXPECT_EQ(GetPageTransparencyFlattener(flatteners, 3), later);
    EXPECT_EQ(GetPageTransparencyFlattener(flatteners, 4), other);
    EXPECT_EQ(GetPageTransparencyFlattener(flatteners, 5), nullptr);
    EXPECT_EQ(GetPageTransparencyFlattener({}, 3), nullptr);
}
