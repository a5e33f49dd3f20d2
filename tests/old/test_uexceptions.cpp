#include "UExceptions.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(UException, CarriesTheStatusInTheUtilDomain) {
    try {
        throw UException(-609);
    } catch (const std::exception& e) {
        const auto* u = dynamic_cast<const UException*>(&e);
        ASSERT_NE(u, nullptr);
        EXPECT_EQ(u->error(), -609);
        EXPECT_EQ(u->domain(),
                  std::uint32_t{'U'} << 24 | std::uint32_t{'T'} << 16 | std::uint32_t{'I'} << 8 | 'L');
        EXPECT_STREQ(e.what(), "");
    }
    const UException given(INT32_MIN, UException::kDomainUtil, "send failed");
    EXPECT_EQ(given.error(), INT32_MIN);
    EXPECT_STREQ(UException(given).what(), "send failed");
}
