#include "support/uuid.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

TEST(UUID, TextIsUpperCaseHexInGroupsAndFreshOnesAreVersion4AndDistinct) {
    const vnu::UUIDBytes bytes{1,    0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef,
                               0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10};
    EXPECT_EQ(vnu::UUIDText(bytes), "01234567-89AB-CDEF-FEDC-BA9876543210");
    const std::regex form("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        const std::string text = vnu::NewUUIDText().str();
        EXPECT_TRUE(std::regex_match(text, form)) << text;
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 100u);
}
