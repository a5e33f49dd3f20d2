#include "UExceptions.h"

#include <gtest/gtest.h>

#include <cstdint>

TEST(UException, CarriesTheStatusInTheUtilDomain) {
    const UException thrown(-609), given(INT32_MIN, UException::kDomainUtil, "send failed");
    const std::exception& base = thrown;
    EXPECT_EQ(std::tuple(thrown.error(), thrown.domain(), std::string(base.what())),
              std::tuple(-609, std::uint32_t{'U'} << 24 | std::uint32_t{'T'} << 16 | 'I' << 8 | 'L', ""));
    EXPECT_EQ(given.error(), INT32_MIN);
    EXPECT_STREQ(UException(given).what(), "send failed");
}
