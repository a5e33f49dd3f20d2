// Message blocks a host hands to PluginMain, and the basic suite every message carries.
#pragma once

#include "sdk/AITypes.h"

struct SPBasicSuite {
    SPErr (*AcquireSuite)(const char* name, int32_t version, const void** suite);
    SPErr (*ReleaseSuite)(const char* name, int32_t version);
};

// The header of every message.
struct SPMessageData {
    int32_t SPCheck;          // kSPValidSPMessageData
    SPPluginRef self;         // the host's reference to this plug-in
    void* globals;            // kept by the host for the plug-in between messages
    SPBasicSuite* basic;
};
constexpr int32_t kSPValidSPMessageData = AI_FOUR_CHAR("SPCk");

struct SPInterfaceMessage {
    SPMessageData d;
};
struct SPAccessMessage {
    SPMessageData d;
};
struct SPPropertiesMessage {
    SPMessageData d;
    int32_t vendorID;
    int32_t propertyKey;
    int32_t propertyID;
    void* property;
    int32_t refCon;
    int32_t cacheable;
};
struct SPPurgeMessage {
    SPMessageData d;
};
struct AINotifierMessage {
    SPMessageData d;
    AINotifierHandle notifier;
    const char* type;
    void* notifyData;
};
struct AIMenuMessage {
    SPMessageData d;
    AIMenuItemHandle menuItem;
};
struct AITimerMessage {
    SPMessageData d;
    AITimerHandle timer;
};

// Callers and selectors.
inline constexpr const char* kSPInterfaceCaller = "SP Interface";
inline constexpr const char* kSPInterfaceStartupSelector = "Startup";
inline constexpr const char* kSPInterfaceShutdownSelector = "Shutdown";
inline constexpr const char* kSPInterfaceAboutSelector = "About";
inline constexpr const char* kSPAccessCaller = "SP Access";
inline constexpr const char* kSPAccessUnloadSelector = "Unload";
inline constexpr const char* kSPAccessReloadSelector = "Reload";
inline constexpr const char* kSPCacheCaller = "SP Cache";
inline constexpr const char* kSPPluginPurgeSelector = "Plug-in Purge";
inline constexpr const char* kSPPropertiesCaller = "SP Properties";
inline constexpr const char* kSPPropertiesAcquireSelector = "Acquire";
inline constexpr const char* kSPPropertiesReleaseSelector = "Release";
inline constexpr const char* kCallerAINotifier = "AI Notifier";
inline constexpr const char* kSelectorAINotify = "AI Notify";
inline constexpr const char* kCallerAIMenu = "AI Menu";
inline constexpr const char* kSelectorAIGoMenuItem = "AI Go";
inline constexpr const char* kSelectorAIUpdateMenuItem = "AI Update";
inline constexpr const char* kCallerAITimer = "AI Timer";
inline constexpr const char* kSelectorAIGoTimer = "AI Go";
inline constexpr const char* kAIApplicationStartedNotifier = "AI Application Started Notifier";
inline constexpr const char* kAIApplicationShutdownNotifier = "AI Application Shutdown Notifier";

// The one function a plug-in module exports.
extern "C" typedef SPErr (*PluginMainProc)(char* caller, char* selector, void* message);
