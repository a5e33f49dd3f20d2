// The host's application context around a piece of plug-in work: pushed when made, popped when
// destroyed.
#pragma once

#include "sdk/AITypes.h"

class AppContext {
public:
    explicit AppContext(SPPluginRef pluginRef);
    ~AppContext();
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

private:
    AIAppContextHandle fAppContext = nullptr;
};
