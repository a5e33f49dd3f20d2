// Inter-application events, carried as D-Bus method calls on the session bus.
//
// An event is one D-Bus call, sent without expecting a reply, to the connection of the target
// process. It carries the event class, the event id and every parameter as (keyword, descriptor
// type, bytes); the bytes ride in a memory file passed with the call (BusNames.h has the names
// and the signature). The receiving process accepts calls from its own user only, matches class
// and id against the handlers installed with AEInstallEventHandler and calls the handler from
// its own main loop (see EventLoop.h); an event without a handler is dropped with a line on
// standard error.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "os/MacTypes.h"
#include "os/Processes.h"

// Descriptor types and keywords used with these calls.
constexpr DescType typeNull = FOUR_CHAR_CODE("null");
constexpr DescType typeWildCard = FOUR_CHAR_CODE("****");
constexpr DescType typeChar = FOUR_CHAR_CODE("TEXT");
constexpr DescType typeProcessSerialNumber = FOUR_CHAR_CODE("psn ");
constexpr DescType typeAppleEvent = FOUR_CHAR_CODE("aevt");
constexpr AEKeyword keyDirectObject = FOUR_CHAR_CODE("----");

constexpr int16_t kAutoGenerateReturnID = -1;
constexpr int32_t kAnyTransactionID = 0;
constexpr int32_t kAENoReply = 0x00000001;
constexpr int32_t kAEAlwaysInteract = 0x00000030;
constexpr int32_t kAECanSwitchLayer = 0x00000040;
constexpr int16_t kAENormalPriority = 0;
constexpr int32_t kNoTimeOut = -2;

// The largest sum of parameter bytes one event may carry. A receiver refuses a larger event
// with a D-Bus error before copying its parameters, so a runaway sender cannot exhaust it.
constexpr size_t kAEMaxEventBytes = 64u << 20;

struct AEEventData;  // the parameters of an Apple event, owned by the descriptor

// A descriptor: an address ('psn ' data), an Apple event ('aevt', parameters in `event`), or null.
struct AEDesc {
    DescType descriptorType = typeNull;
    std::string data;              // the bytes of a simple descriptor
    AEEventData* event = nullptr;  // owned; set for typeAppleEvent only
};
typedef AEDesc AppleEvent;
typedef AEDesc AEAddressDesc;

typedef OSErr (*AEEventHandlerProcPtr)(const AppleEvent* event, AppleEvent* reply, SRefCon refcon);
typedef AEEventHandlerProcPtr AEEventHandlerUPP;

OSErr AECreateDesc(DescType type, const void* data, size_t size, AEDesc* result);
OSErr AEDisposeDesc(AEDesc* desc);
OSErr AECreateAppleEvent(AEEventClass eventClass, AEEventID eventId, const AEAddressDesc* target,
                         int16_t returnId, int32_t transactionId, AppleEvent* result);
// Replaces a parameter with the same keyword. memFullErr when the event's parameters would pass
// kAEMaxEventBytes together.
OSErr AEPutParamPtr(AppleEvent* event, AEKeyword keyword, DescType type, const void* data, size_t size);
// errAEDescNotFound when the event has no such parameter.
OSErr AESizeOfParam(const AppleEvent* event, AEKeyword keyword, DescType* type, size_t* size);
// `desiredType` typeWildCard takes the bytes unchanged whatever their type; another type must
// match the parameter's (errAECoercionFail otherwise). Copies at most `maximumSize` bytes.
OSErr AEGetParamPtr(const AppleEvent* event, AEKeyword keyword, DescType desiredType, DescType* actualType,
                    void* data, size_t maximumSize, size_t* actualSize);
// The event's class and id ('evcl' and 'evid' attributes on a Mac).
OSErr AEGetEventClassAndID(const AppleEvent* event, AEEventClass* eventClass, AEEventID* eventId);
// Sends without waiting for the target in every mode (the plug-in only ever asks for kAENoReply):
// returns once the event has left for the bus. A null address, or a process that is not
// registered (or the caller not being registered), gives procNotFound; the reply descriptor is
// left null. (0, kCurrentProcess) is the calling process.
OSErr AESend(const AppleEvent* event, AppleEvent* reply, int32_t sendMode, int16_t priority, int32_t timeout,
             void* idleProc, void* filterProc);
// The connection (unique bus name) an event arrived from and that connection's process, as the
// bus told when the connection first sent; errAEDescNotFound for an event made in this process.
OSErr VNGetEventSender(const AppleEvent* event, std::string* busName, pid_t* pid);

// Handlers are per process, kept until the process ends; installing the same class and id
// again replaces the routine and reference constant. `isSystem` must be false.
OSErr AEInstallEventHandler(AEEventClass eventClass, AEEventID eventId, AEEventHandlerUPP handler,
                            SRefCon refcon, Boolean isSystem);
