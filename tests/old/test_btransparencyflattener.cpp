#include "BTransparencyFlattener.h"

#include <gtest/gtest.h>

#include "job_test_support.h"

TEST(BTransparencyFlattener, RecordHoldsItsKeysInOrder) {
    BDocumentTransparencyFlattener f;
    f.SetEnabled(true);
    f.SetName("not stored");
    for (int i = 0; i < BTransparencyFlattener::kValueCount; ++i) f.SetValue(i, 10.0 + i);
    f.SetOption(0, true);
    f.SetOption(7, true);
    const std::string bytes = job_test::Stream([&](UKeyOutStream& out) { f.FlattenerKeyStreamOut(out); });
    // Record 180: 3201 enabled, 3202 and 3220 to 3223 the values, 3210 to 3217 the options.
    EXPECT_EQ(job_test::spacedHex(bytes.substr(13)),
              job_test::spacedHex(job_test::bytes(
                  "00 B4 FF 00 00 00 63 06 0C 81 01 01 01 0C 82 08 04 40 24 00 00 00 00 00 00 "
                  "0C 94 08 04 40 26 00 00 00 00 00 00 0C 95 08 04 40 28 00 00 00 00 00 00 "
                  "0C 96 08 04 40 2A 00 00 00 00 00 00 0C 97 08 04 40 2C 00 00 00 00 00 00 "
                  "0C 8A 01 01 01 0C 8B 00 01 0C 8C 00 01 0C 8D 00 01 0C 8E 00 01 0C 8F 00 01 0C 90 00 01 "
                  "0C 91 01 01 01")));
}

TEST(GetPageTransparencyFlattener, LastOneForThePageWins) {
    auto make = [](int page) {
        auto f = std::make_shared<BTransparencyFlattener>();
        f->SetPage(page);
        return f;
    };
    const auto first = make(3), other = make(4), later = make(3);
    const BTransparencyFlattenerVector flatteners = {first, other, later, nullptr};
    EXPECT_EQ(GetPageTransparencyFlattener(flatteners, 3), later);
    EXPECT_EQ(GetPageTransparencyFlattener(flatteners, 4), other);
    EXPECT_EQ(GetPageTransparencyFlattener(flatteners, 5), nullptr);
    EXPECT_EQ(GetPageTransparencyFlattener({}, 3), nullptr);
}
