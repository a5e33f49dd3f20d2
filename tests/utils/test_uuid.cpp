#include "uuid.h"

#include <gtest/gtest.h>

#include <set>

TEST(UUID, TextGroupsBytesAsUpperCaseHex) {
    vnu::UUIDBytes bytes{0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef,
                         0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10};
    EXPECT_EQ(vnu::UUIDText(bytes), "01234567-89AB-CDEF-FEDC-BA9876543210");
}

TEST(UUID, FreshOnesAreVersion4AndDistinct) {
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        ustring text = vnu::NewUUIDText();
        ASSERT_EQ(text.size(), 36u);
        EXPECT_EQ(text[14], '4') << text;
        EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;
        for (size_t k = 0; k < text.size(); ++k) {
            char c = text[k];
            if (k == 8 || k == 13 || k == 18 || k == 23)
                EXPECT_EQ(c, '-');
            else
                EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << text;
        }
        seen.insert(text.str());
    }
    EXPECT_EQ(seen.size(), 100u);
}
