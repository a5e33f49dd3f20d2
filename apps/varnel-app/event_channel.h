// The application's side of the event channel: the plug-in's requests in, replies out.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "os/AppleEvents.h"

namespace varnel_app {

constexpr AEEventClass kEventClass = FOUR_CHAR_CODE("AWZS");
constexpr AEEventID kAboutRequest = FOUR_CHAR_CODE("AboT");
constexpr AEEventID kJobListRequest = FOUR_CHAR_CODE("jlwT");
constexpr AEEventID kNewDetailsRequest = FOUR_CHAR_CODE("dneT");
constexpr AEEventID kDetailsRequest = FOUR_CHAR_CODE("detT");
constexpr AEEventID kExportDoneRequest = FOUR_CHAR_CODE("epsT");
constexpr AEEventID kDetailsReply = FOUR_CHAR_CODE("savY");
constexpr AEEventID kNewDetailsReply = FOUR_CHAR_CODE("sanY");
constexpr AEEventID kExportReply = FOUR_CHAR_CODE("expY");

struct Request {
    AEEventID id = 0;
    std::string payload;         // the bytes the hexadecimal text stands for
    ProcessSerialNumber sender;  // zero when the request carries none
};

using RequestHandler = std::function<void(const Request&)>;

// Installs the handler for the five requests; the channel calls it from VNProcessEvents.
// `handler` must outlive the process's event handling.
OSErr installRequestHandlers(const RequestHandler& handler);

// Sends one event of the channel's class to `to`: the payload as hexadecimal text under '----'
// and 'Vnmp', and this process's serial number under 'Psn '. Returns the channel's status.
OSErr postEvent(AEEventID id, const ProcessSerialNumber& to, std::string_view payload);

// 'savY' as the text savY.
std::string eventName(AEEventID id);

}  // namespace varnel_app
