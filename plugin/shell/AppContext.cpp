#include "shell/AppContext.h"

#include "shell/Suites.h"

AppContext::AppContext(SPPluginRef pluginRef) {
    if (sAIAppContext != nullptr && pluginRef != nullptr)
        sAIAppContext->PushAppContext(pluginRef, &fAppContext);
}

AppContext::~AppContext() {
    if (sAIAppContext != nullptr && fAppContext != nullptr) sAIAppContext->PopAppContext(fAppContext);
}
