// The Varnel plug-in object: the operations the plug-in answers and the state it keeps between
// host messages.
#pragma once

#include <memory>
#include <string>

#include "shell/Plugin.h"

class VNIllustratorPlugin : public Plugin {
public:
    explicit VNIllustratorPlugin(SPPluginRef pluginRef);
    VNIllustratorPlugin(VNIllustratorPlugin&& other) noexcept;
    ~VNIllustratorPlugin() override;

    // The live object, published by SetGlobal; null before start-up, after unload and shut-down.
    static VNIllustratorPlugin* _g;
    // Throws std::runtime_error "global isn't initialized" when there is none.
    static VNIllustratorPlugin* instance();

    ASErr Message(char* caller, char* selector, void* message) override;
    ASErr StartupPlugin(SPInterfaceMessage* message) override;
    ASErr ShutdownPlugin(SPInterfaceMessage* message) override;
    ASErr GoMenuItem(AIMenuMessage* message) override;
    ASErr UpdateMenuItem(AIMenuMessage* message) override;
    ASErr GoTimer(AITimerMessage* message) override;
    ASErr SetGlobal(Plugin* plugin) override;

    // Notifier handles from before a reload name nothing the host still knows.
    void ForgetNotifiers();

    AIMenuItemHandle fAboutMenu = nullptr;
    AIMenuItemHandle fJobListMenu = nullptr;
    AIMenuItemHandle fDetailsMenu = nullptr;
    AIMenuItemHandle fAdjustSizeMenu = nullptr;
    AITimerHandle fTimer = nullptr;
    // The one-slot reply queue: no payload means empty.
    std::unique_ptr<std::string> fReplyPayload;
    ai::int32 fReplyKind = 0;
    bool fReplyOverflowed = false;  // the overflow of the parked reply was logged
    SPBasicSuite* fBasic = nullptr;
};
