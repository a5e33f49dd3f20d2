// Descriptors and parameters inside one process.
#include <gtest/gtest.h>

#include <string>

#include "PlatformTestSupport.h"

namespace platform_test {
namespace {

constexpr AEKeyword kPayload = FOUR_CHAR_CODE("Vnmp");

OSErr Put(AppleEvent& event, AEKeyword keyword, DescType type, const std::string& bytes) {
    return AEPutParamPtr(&event, keyword, type, bytes.data(), bytes.size());
}

TEST(AEDescriptors, ParametersReadBackByWildcardOrTheirOwnTypeOnlyAndOnlyFromEvents) {
    testing_support::TestEvent event(kTestClass, kEcho, {}, {{keyDirectObject, "first, longer"}});
    ASSERT_EQ(Put(event.event, keyDirectObject, typeChar, "00ABFF"), noErr);  // replaces
    char buffer[8] = {};
    DescType type = typeNull;
    size_t size = 0;
    EXPECT_EQ(AEGetParamPtr(&event.event, keyDirectObject, typeWildCard, &type, buffer, sizeof buffer, &size),
              noErr);
    EXPECT_EQ(std::string(buffer, size), "00ABFF");
    EXPECT_EQ(type, typeChar);
    EXPECT_EQ(AEGetParamPtr(&event.event, keyDirectObject, typeChar, &type, buffer, 2, &size), noErr);
    EXPECT_EQ(size, 6u) << "the full size is reported when less is copied";
    EXPECT_EQ(AEGetParamPtr(&event.event, keyDirectObject, typeProcessSerialNumber, &type, buffer, 8, &size),
              errAECoercionFail);
    EXPECT_EQ(AESizeOfParam(&event.event, kPayload, &type, &size), errAEDescNotFound);
    EXPECT_EQ(AEGetParamPtr(&event.event, kPayload, typeWildCard, &type, buffer, 8, &size),
              errAEDescNotFound);

    AEDesc text;  // no event, and no address
    ASSERT_EQ(AECreateDesc(typeChar, "abc", 3, &text), noErr);
    EXPECT_EQ(Put(text, kPayload, typeChar, "x"), errAENotAEDesc);
    AppleEvent other;
    EXPECT_EQ(AECreateAppleEvent(kTestClass, kEcho, &text, kAutoGenerateReturnID, kAnyTransactionID, &other),
              paramErr);
    AEDisposeDesc(&text);
}

TEST(AEDescriptors, ParametersStayWithinTheEventCap) {
    testing_support::TestEvent event(kTestClass, kEcho, {}, {});
    const std::string full(kAEMaxEventBytes, 'x');
    ASSERT_EQ(Put(event.event, keyDirectObject, typeChar, full), noErr);
    EXPECT_EQ(Put(event.event, keyDirectObject, typeChar, full), noErr)
        << "replacing frees the bytes it replaces";
    EXPECT_EQ(Put(event.event, kPayload, typeChar, "y"), memFullErr);
    EXPECT_EQ(AESizeOfParam(&event.event, kPayload, nullptr, nullptr), errAEDescNotFound);
}

}  // namespace
}  // namespace platform_test
