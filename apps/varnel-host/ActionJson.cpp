#include "ActionJson.h"

#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "pdf/ExportOptions.h"

namespace vhost {

using nlohmann::json;
using Type = ActionParam::Type;

namespace {

constexpr std::pair<Type, const char*> kTypeNames[] = {
    {Type::Integer, "integer"},       {Type::Real, "real"},
    {Type::String, "string"},         {Type::Boolean, "boolean"},
    {Type::Enumerated, "enumerated"},
};

const char* typeName(Type type) {
    for (const auto& [t, name] : kTypeNames) {
        if (t == type) return name;
    }
    return "?";
}

[[noreturn]] void fail(const std::string& where, const std::string& what) {
    throw std::runtime_error(where + ": " + what);
}

uint32_t keyFromJson(const json& key, const std::string& where) {
    if (key.is_string()) {
        const std::string& text = key.get_ref<const std::string&>();
        if (text.size() != 4) fail(where, "a key is four characters");
        uint32_t code = 0;
        for (char c : text) code = (code << 8) | uint8_t(c);
        return code;
    }
    if (key.is_number_unsigned() && key.get<uint64_t>() <= UINT32_MAX) return key.get<uint32_t>();
    fail(where, "a key is four characters or a 32-bit number");
}

}  // namespace

json paramsToJson(const ActionParams& params) {
    json list = json::array();
    for (const ActionParam& p : params) {
        const std::string name = pdf::KeyText(p.key);
        json entry = {{"key", name.size() == 4 ? json(name) : json(p.key)}, {"type", typeName(p.type)}};
        switch (p.type) {
            case Type::Integer: entry["value"] = p.integer; break;
            case Type::Real: entry["value"] = p.real; break;
            case Type::String: entry["value"] = p.text; break;
            case Type::Boolean: entry["value"] = p.integer != 0; break;
            case Type::Enumerated:
                entry["typeName"] = p.text;
                entry["value"] = p.integer;
                break;
        }
        list.push_back(std::move(entry));
    }
    return list;
}

ActionParams paramsFromJson(const json& value, const std::string& where) {
    if (!value.is_array()) fail(where, "expected an array of parameters");
    ActionParams params;
    for (size_t i = 0; i < value.size(); ++i) {
        const std::string at = where + "/" + std::to_string(i);
        const json& entry = value[i];
        if (!entry.is_object() || !entry.contains("key") || !entry.contains("type") ||
            !entry.contains("value"))
            fail(at, "a parameter has \"key\", \"type\" and \"value\"");
        ActionParam p;
        p.key = keyFromJson(entry["key"], at + "/key");
        const json& type = entry["type"];
        const json& v = entry["value"];
        bool known = false;
        for (const auto& [t, name] : kTypeNames) {
            if (type == name) {
                p.type = t;
                known = true;
            }
        }
        if (!known) fail(at + "/type", "unknown parameter type");
        bool ok = true;
        switch (p.type) {
            case Type::Integer:
            case Type::Enumerated:
                ok = v.is_number_integer() && v.get<int64_t>() >= INT32_MIN && v.get<int64_t>() <= INT32_MAX;
                if (ok) p.integer = v.get<int64_t>();
                if (p.type == Type::Enumerated) {
                    const json* name = entry.contains("typeName") ? &entry["typeName"] : nullptr;
                    if (name == nullptr || !name->is_string())
                        fail(at, "an enumerated value has a \"typeName\"");
                    p.text = name->get<std::string>();
                }
                break;
            case Type::Real:
                ok = v.is_number() && std::isfinite(v.get<double>());
                if (ok) p.real = v.get<double>();
                break;
            case Type::String:
                ok = v.is_string();
                if (ok) p.text = v.get<std::string>();
                break;
            case Type::Boolean:
                ok = v.is_boolean();
                if (ok) p.integer = v.get<bool>() ? 1 : 0;
                break;
        }
        if (!ok) fail(at + "/value", std::string("not a valid ") + typeName(p.type) + " value");
        params.push_back(std::move(p));
    }
    return params;
}

}  // namespace vhost
