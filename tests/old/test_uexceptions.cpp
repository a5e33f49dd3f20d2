#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

#include "UExceptions.h"

TEST(UException, CarriesTheStatusInTheUtilDomainWithAnEmptyMessage) {
    try {
        throw UException(-609);
    } catch (const std::exception& e) {
        const auto* u = dynamic_cast<const UException*>(&e);
        ASSERT_NE(u, nullptr);
        EXPECT_EQ(u->error(), -609);
        const char util[] = {'U', 'T', 'I', 'L'};
        const std::uint32_t domain = u->domain();
        const char bytes[] = {static_cast<char>(domain >> 24), static_cast<char>(domain >> 16),
                              static_cast<char>(domain >> 8), static_cast<char>(domain)};
        EXPECT_EQ(std::memcmp(bytes, util, 4), 0);
        EXPECT_STREQ(e.what(), "");
    }
}

TEST(UException, KeepsAGivenMessageAndTheFullCodeRange) {
    const UException e(INT32_MIN, UException::kDomainUtil, "send failed");
    EXPECT_EQ(e.error(), INT32_MIN);
    EXPECT_STREQ(e.what(), "send failed");
    const UException copy(e);
    EXPECT_EQ(copy.message(), ustring("send failed"));
}
