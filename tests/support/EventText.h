// Events as the tests and their peer programs build and read them: parameters as text.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "os/AppleEvents.h"
#include "os/Processes.h"

namespace testing_support {

// An event of `eventClass`/`id` to the process `to` holding `texts` as typeChar parameters and,
// with `sign`, this process's serial number under 'Psn ', as the plug-in and the companion sign theirs.
struct TestEvent {
    TestEvent(AEEventClass eventClass, AEEventID id, ProcessSerialNumber to,
              const std::map<AEKeyword, std::string>& texts, bool sign = false) {
        AEAddressDesc address;
        AECreateDesc(typeProcessSerialNumber, &to, sizeof to, &address);
        AECreateAppleEvent(eventClass, id, &address, kAutoGenerateReturnID, kAnyTransactionID, &event);
        AEDisposeDesc(&address);
        for (const auto& [keyword, text] : texts)
            AEPutParamPtr(&event, keyword, typeChar, text.data(), text.size());
        if (sign) {
            ProcessSerialNumber self;
            GetCurrentProcess(&self);
            AEPutParamPtr(&event, FOUR_CHAR_CODE("Psn "), typeProcessSerialNumber, &self, sizeof self);
        }
    }
    ~TestEvent() { AEDisposeDesc(&event); }
    TestEvent(const TestEvent&) = delete;
    TestEvent& operator=(const TestEvent&) = delete;
    OSErr send() const {
        return AESend(&event, nullptr, kAENoReply, kAENormalPriority, kNoTimeOut, nullptr, nullptr);
    }
    AppleEvent event;
};

// A parameter of a received event as text; nullopt when the event has none.
inline std::optional<std::string> TextParameter(const AppleEvent* event, AEKeyword keyword) {
    size_t size = 0;
    if (AESizeOfParam(event, keyword, nullptr, &size) != noErr) return std::nullopt;
    std::string text(size, '\0');
    if (AEGetParamPtr(event, keyword, typeChar, nullptr, text.data(), size, &size) != noErr)
        return std::nullopt;
    return text;
}

}  // namespace testing_support
