// Descriptors and parameters inside one process.
#include <gtest/gtest.h>

#include <string>

#include "AppleEvents.h"

namespace {

constexpr AEKeyword kPayload = FOUR_CHAR_CODE("Vnmp");

struct Event {
    Event() {
        const AEAddressDesc null;
        EXPECT_EQ(AECreateAppleEvent(FOUR_CHAR_CODE("AWZS"), FOUR_CHAR_CODE("savY"), &null,
                                     kAutoGenerateReturnID, kAnyTransactionID, &desc),
                  noErr);
    }
    ~Event() { AEDisposeDesc(&desc); }
    OSErr put(AEKeyword keyword, DescType type, const std::string& bytes) {
        return AEPutParamPtr(&desc, keyword, type, bytes.data(), bytes.size());
    }
    AppleEvent desc;
};

TEST(AEDescriptors, ParametersReadBackByWildcardOrTheirOwnTypeOnly) {
    Event event;
    ASSERT_EQ(event.put(keyDirectObject, typeChar, "first, longer"), noErr);
    ASSERT_EQ(event.put(keyDirectObject, typeChar, "00ABFF"), noErr);  // replaces
    char buffer[8] = {};
    DescType type = typeNull;
    size_t size = 0;
    EXPECT_EQ(AEGetParamPtr(&event.desc, keyDirectObject, typeWildCard, &type, buffer, sizeof buffer, &size),
              noErr);
    EXPECT_EQ(std::string(buffer, size), "00ABFF");
    EXPECT_EQ(type, typeChar);
    EXPECT_EQ(AEGetParamPtr(&event.desc, keyDirectObject, typeChar, &type, buffer, 2, &size), noErr);
    EXPECT_EQ(size, 6u) << "the full size is reported when less is copied";
    EXPECT_EQ(AEGetParamPtr(&event.desc, keyDirectObject, typeProcessSerialNumber, &type, buffer, 8, &size),
              errAECoercionFail);
    EXPECT_EQ(AESizeOfParam(&event.desc, kPayload, &type, &size), errAEDescNotFound);
    EXPECT_EQ(AEGetParamPtr(&event.desc, kPayload, typeWildCard, &type, buffer, 8, &size), errAEDescNotFound);
}

TEST(AEDescriptors, ParametersStayWithinTheEventCap) {
    Event event;
    const std::string full(kAEMaxEventBytes, 'x');
    ASSERT_EQ(event.put(keyDirectObject, typeChar, full), noErr);
    EXPECT_EQ(event.put(keyDirectObject, typeChar, full), noErr) << "replacing frees the bytes it replaces";
    EXPECT_EQ(event.put(kPayload, typeChar, "y"), memFullErr);
    EXPECT_EQ(AESizeOfParam(&event.desc, kPayload, nullptr, nullptr), errAEDescNotFound);
}

TEST(AEDescriptors, WhatIsNoEventOrNoAddressIsRefused) {
    AEDesc text;
    ASSERT_EQ(AECreateDesc(typeChar, "abc", 3, &text), noErr);
    EXPECT_EQ(AEPutParamPtr(&text, kPayload, typeChar, "x", 1), errAENotAEDesc);
    EXPECT_EQ(AESizeOfParam(&text, kPayload, nullptr, nullptr), errAENotAEDesc);
    EXPECT_EQ(AESend(&text, nullptr, kAENoReply, kAENormalPriority, kNoTimeOut, nullptr, nullptr),
              errAENotAEDesc);
    AppleEvent event;
    EXPECT_EQ(AECreateAppleEvent(FOUR_CHAR_CODE("AWZS"), FOUR_CHAR_CODE("savY"), &text, kAutoGenerateReturnID,
                                 kAnyTransactionID, &event),
              paramErr);
    EXPECT_EQ(AECreateDesc(typeAppleEvent, nullptr, 0, &event), paramErr);
    AEDisposeDesc(&text);
}

}  // namespace
