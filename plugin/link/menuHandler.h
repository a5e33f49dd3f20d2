// The event link to the Varnel application: requests out, reply handlers in.
#pragma once

#include <string>

#include "os/AppleEvents.h"
#include "os/Processes.h"
#include "text/ustring.h"

enum IllRequestEnum : int {
    kIllRequestAbout = 0,
    kIllRequestJobList = 1,
    kIllRequestNewDetails = 2,
    kIllRequestDetails = 3,
    kIllRequestExportDone = 4,
};

// Every event between the plug-in and the Varnel application has this class.
constexpr AEEventClass kVarnelEventClass = FOUR_CHAR_CODE("AWZS");

// Reference constants of the reply handlers: they select the reply's handler on the timer.
constexpr SRefCon kReplyDetails = 9120;     // 'savY'
constexpr SRefCon kReplyNewDetails = 9121;  // 'sanY'
constexpr SRefCon kReplyExport = 9122;      // 'expY'

// Sends one request to the running Varnel application without waiting for an answer, then
// brings it to the front. Throws UException with the event manager's status on failure; a kind
// outside the enumeration ends the process before anything is sent.
void SendEvent(const std::string& payload, IllRequestEnum kind);

// The handler routine of the three replies. Defined by the plug-in beside its reply queue.
OSErr ReceiveEvent(const AppleEvent* event, AppleEvent* reply, SRefCon refcon);

// Installs ReceiveEvent for 'savY', 'sanY' and 'expY'; failures are only logged.
void VNPlatformInit();
// The handlers stay installed until the host unloads the plug-in.
void VNPlatformShutdown();
void bringIllustratorToFront();

namespace VNAEvents {

// The running process with `bundleId`, or the current process for an empty one. False, with a
// null address, when no such process runs.
bool CreateAddressDesc(AEDesc& address, const ustring& bundleId);
// The payload as hexadecimal text under '----' and 'Vnmp', and the sender under 'Psn '.
bool PutDataIntoEvent(AEDesc& event, const char* data, unsigned long length);
// The payload from 'Vnmp', or from '----' when the event has no 'Vnmp'; the sender from 'Psn '
// (zero when missing).
bool GetDataFromEvent(const AEDesc& event, std::string& data, ProcessSerialNumber& sender);

}  // namespace VNAEvents
