// The Action Manager: parameter blocks, and playing actions, each recorded with its block.
#include <cmath>

#include "SuiteSupport.h"

namespace vhost {
namespace {

using Type = ActionParam::Type;

ActionParams& block(AIActionParamValueRef value) {
    const auto it = host().paramBlocks.find(idOf(value));
    if (it == host().paramBlocks.end())
        throw HostError(kBadParameterErr, "not a parameter block of this host");
    return it->second;
}

// Setting a key again replaces its value where it stands.
void set(AIActionParamValueRef value, ActionParamKeyID key, ActionParam param) {
    param.key = key;
    ActionParams& params = block(value);
    for (ActionParam& p : params) {
        if (p.key == key) {
            p = std::move(param);
            return;
        }
    }
    params.push_back(std::move(param));
}

ActionParam param(Type type) {
    ActionParam p;
    p.type = type;
    return p;
}

AIErr AINewActionParamValue(AIActionParamValueRef* value) {
    SuiteCall call(kAIActionManagerSuite, "AINewActionParamValue");
    return call.run([&] {
        if (value == nullptr) throw HostError(kBadParameterErr, "no place for the block");
        const uint64_t id = newId();
        host().paramBlocks[id];
        *value = toHandle<AIActionParamValueRef>(id);
        call.output(*value);
    });
}

AIErr AIDeleteActionParamValue(AIActionParamValueRef value) {
    SuiteCall call(kAIActionManagerSuite, "AIDeleteActionParamValue", value);
    return call.run([&] {
        if (host().paramBlocks.erase(idOf(value)) == 0)
            throw HostError(kBadParameterErr, "not a parameter block");
    });
}

AIErr AIActionSetInteger(AIActionParamValueRef value, ActionParamKeyID key, ai::int32 number) {
    SuiteCall call(kAIActionManagerSuite, "AIActionSetInteger", value, FourCC{key}, number);
    return call.run([&] {
        ActionParam p = param(Type::Integer);
        p.integer = number;
        set(value, key, p);
    });
}

AIErr AIActionSetReal(AIActionParamValueRef value, ActionParamKeyID key, AIReal number) {
    SuiteCall call(kAIActionManagerSuite, "AIActionSetReal", value, FourCC{key}, number);
    return call.run([&] {
        if (!std::isfinite(number)) throw HostError(kBadParameterErr, "not a finite number");
        ActionParam p = param(Type::Real);
        p.real = number;
        set(value, key, p);
    });
}

AIErr AIActionSetString(AIActionParamValueRef value, ActionParamKeyID key, const char* text) {
    SuiteCall call(kAIActionManagerSuite, "AIActionSetString", value, FourCC{key}, text);
    return call.run([&] {
        if (text == nullptr) throw HostError(kBadParameterErr, "no text");
        ActionParam p = param(Type::String);
        p.text = text;
        set(value, key, p);
    });
}

AIErr AIActionSetBoolean(AIActionParamValueRef value, ActionParamKeyID key, AIBoolean flag) {
    SuiteCall call(kAIActionManagerSuite, "AIActionSetBoolean", value, FourCC{key}, flag);
    return call.run([&] {
        ActionParam p = param(Type::Boolean);
        p.integer = flag != 0 ? 1 : 0;
        set(value, key, p);
    });
}

AIErr AIActionSetEnumerated(AIActionParamValueRef value, ActionParamKeyID key, const char* typeName,
                            ai::int32 number) {
    SuiteCall call(kAIActionManagerSuite, "AIActionSetEnumerated", value, FourCC{key}, typeName, number);
    return call.run([&] {
        if (typeName == nullptr) throw HostError(kBadParameterErr, "no type name");
        ActionParam p = param(Type::Enumerated);
        p.text = typeName;
        p.integer = number;
        set(value, key, p);
    });
}

AIErr PlayActionEvent(const char* eventName, ActionDialogStatus dialog, AIActionParamValueRef parameters) {
    SuiteCall call(kAIActionManagerSuite, "PlayActionEvent", eventName, dialog, parameters);
    return call.run([&] {
        if (eventName == nullptr) throw HostError(kBadParameterErr, "no action name");
        std::optional<ActionParams> params;
        if (parameters != nullptr) params = block(parameters);
        const AIErr result = playAction(host(), eventName, params ? &*params : nullptr);
        host().actions.push_back({eventName, dialog, std::move(params), result});
        if (result != kNoErr) throw HostError(result, "the action failed");
    });
}

const AIActionManagerSuite kActionManager = {
    AINewActionParamValue, AIDeleteActionParamValue, AIActionSetInteger,    AIActionSetReal,
    AIActionSetString,     AIActionSetBoolean,       AIActionSetEnumerated, PlayActionEvent};

}  // namespace

void addActionSuites(SuiteTable& table) {
    table.add(kAIActionManagerSuite, kAIActionManagerSuiteVersion, &kActionManager);
}

}  // namespace vhost
