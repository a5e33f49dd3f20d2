#include "jobjson/message_json.h"

#include <cmath>
#include <limits>
#include <stdexcept>

#include "support/hexcodec.h"

namespace inspect {
namespace {

using json = nlohmann::ordered_json;
using umessage_details::dyn_array;
using umessage_details::dyn_array_impl;

const char* typeWord(umessage_type_id id) {
    switch (id) {
        case umessage_type_int: return "int";
        case umessage_type_bool: return "bool";
        case umessage_type_double: return "double";
        case umessage_type_string: return "string";
        case umessage_type_message: return "message";
        case umessage_type_longlong: return "long long";
        default: return nullptr;
    }
}

void writeValue(JsonSink& out, int v) {
    out.number(v);
}
void writeValue(JsonSink& out, long long v) {
    out.number(v);
}
void writeValue(JsonSink& out, bool v) {
    out.boolean(v);
}
void writeValue(JsonSink& out, double v) {
    if (std::isnan(v))
        out.string("NaN");
    else if (std::isinf(v))
        out.string(v > 0 ? "Infinity" : "-Infinity");
    else
        out.number(v);
}
void writeValue(JsonSink& out, const ustring& v) {
    if (isUtf8(v.str())) {
        out.string(v.str());
        return;
    }
    out.beginObject();
    out.member("hex", std::string_view(vnu::HexEncode(v.str())));
    out.endObject();
}
void writeValue(JsonSink& out, const std::shared_ptr<umessage>& v) {
    writeMessage(*v, out);
}

// One value as itself; an entry that is an array (even of one value) as a JSON array. With
// writeMessage, the only code that knows how a message holds its entries.
template <class T>
void writeValues(const dyn_array& array, JsonSink& out) {
    const auto& impl = dynamic_cast<const dyn_array_impl<T>&>(array);
    if (impl.values.size() == 1 && !impl.isArray) {
        writeValue(out, impl.values[0]);
        return;
    }
    out.beginArray();
    for (const auto& v : impl.values) writeValue(out, v);
    out.endArray();
}

[[noreturn]] void fail(const std::string& path, const std::string& what) {
    throw std::runtime_error("message JSON: " + (path.empty() ? std::string("top level") : path) + ": " +
                             what);
}

template <class T>
T valueFromJson(const json& v, const std::string& path);

template <>
int valueFromJson<int>(const json& v, const std::string& path) {
    if (!v.is_number_integer()) fail(path, "expected an integer");
    const auto x = v.get<long long>();
    if (x < std::numeric_limits<int>::min() || x > std::numeric_limits<int>::max())
        fail(path, "integer out of the 32-bit range");
    return static_cast<int>(x);
}

template <>
long long valueFromJson<long long>(const json& v, const std::string& path) {
    if (v.is_number_unsigned() && v.get<unsigned long long>() > std::numeric_limits<long long>::max())
        fail(path, "integer out of the 64-bit range");
    if (!v.is_number_integer()) fail(path, "expected an integer");
    return v.get<long long>();
}

template <>
bool valueFromJson<bool>(const json& v, const std::string& path) {
    if (!v.is_boolean()) fail(path, "expected true or false");
    return v.get<bool>();
}

template <>
double valueFromJson<double>(const json& v, const std::string& path) {
    if (v.is_number()) return v.get<double>();
    if (v == "NaN") return std::numeric_limits<double>::quiet_NaN();
    if (v == "Infinity") return std::numeric_limits<double>::infinity();
    if (v == "-Infinity") return -std::numeric_limits<double>::infinity();
    fail(path, "expected a number");
}

template <>
ustring valueFromJson<ustring>(const json& v, const std::string& path) {
    if (v.is_string()) return ustring(v.get<std::string>());
    if (v.is_object() && v.size() == 1 && v.contains("hex") && v["hex"].is_string()) {
        const auto text = v["hex"].get<std::string>();
        if (text.size() % 2 != 0 || text.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos)
            fail(path, "\"hex\" needs pairs of hexadecimal digits");
        return ustring(vnu::HexDecode(text));
    }
    fail(path, "expected a string");
}

// Reads the values of one entry with `read(value, path)`.
template <class T, class Read>
void addEntry(umessage& m, const ustring& name, umessage_type_id id, const json& value,
              const std::string& path, Read read) {
    try {
        if (value.is_array()) {
            if (value.empty()) fail(path, "an entry needs at least one value");
            for (size_t i = 0; i < value.size(); ++i)
                m.addData_priv<T>(name, id, read(value[i], path + "[" + std::to_string(i) + "]"), true);
        } else {
            m.addData_priv<T>(name, id, read(value, path), false);
        }
    } catch (const std::logic_error& e) {  // the message's own rules: names and types
        fail(path, e.what());
    }
}

umessage messageFromJsonAt(const json& j, const std::string& path, int nesting) {
    if (!j.is_object()) fail(path, "expected an object of entries");
    umessage m;
    for (const auto& [name, entry] : j.items()) {
        const std::string at = path.empty() ? name : path + "." + name;
        if (!entry.is_object() || entry.size() != 1)
            fail(at, "expected an object with one member naming the type");
        const auto first = entry.begin();
        const std::string& type = first.key();
        const json& value = first.value();
        if (type == "int")
            addEntry<int>(m, name, umessage_type_int, value, at, valueFromJson<int>);
        else if (type == "long long")
            addEntry<long long>(m, name, umessage_type_longlong, value, at, valueFromJson<long long>);
        else if (type == "bool")
            addEntry<bool>(m, name, umessage_type_bool, value, at, valueFromJson<bool>);
        else if (type == "double")
            addEntry<double>(m, name, umessage_type_double, value, at, valueFromJson<double>);
        else if (type == "string")
            addEntry<ustring>(m, name, umessage_type_string, value, at, valueFromJson<ustring>);
        else if (type == "message")
            addEntry<std::shared_ptr<umessage>>(
                m, name, umessage_type_message, value, at, [nesting](const json& v, const std::string& p) {
                    if (nesting == umessage::kMaxNesting)
                        fail(p, "messages nested deeper than " + std::to_string(umessage::kMaxNesting) +
                                    " levels");
                    return std::make_shared<umessage>(messageFromJsonAt(v, p, nesting + 1));
                });
        else
            fail(at, "unknown type \"" + type + "\"");
    }
    return m;
}

}  // namespace

// Types the JSON form has no word for are left out.
void writeMessage(const umessage& message, JsonSink& out) {
    out.beginObject();
    for (const auto& [name, array] : message.entries()) {
        const char* const word = typeWord(array->type());
        if (word == nullptr) continue;
        out.key(name.str());
        out.beginObject();
        out.key(word);
        switch (array->type()) {
            case umessage_type_int: writeValues<int>(*array, out); break;
            case umessage_type_bool: writeValues<bool>(*array, out); break;
            case umessage_type_double: writeValues<double>(*array, out); break;
            case umessage_type_string: writeValues<ustring>(*array, out); break;
            case umessage_type_message: writeValues<std::shared_ptr<umessage>>(*array, out); break;
            case umessage_type_longlong: writeValues<long long>(*array, out); break;
        }
        out.endObject();
    }
    out.endObject();
}

namespace {

void writeViewValue(JsonSink& out, umessage_type_id type, umessage_cursor& values) {
    switch (type) {
        case umessage_type_int: writeValue(out, values.nextInt()); break;
        case umessage_type_bool: writeValue(out, values.nextBool()); break;
        case umessage_type_double: writeValue(out, values.nextDouble()); break;
        case umessage_type_string: writeValue(out, ustring(values.nextString())); break;
        case umessage_type_message: writeMessage(values.nextMessage(), out); break;
        default: writeValue(out, values.nextLonglong()); break;
    }
}

}  // namespace

// The same form from an image, value by value where the bytes lie.
void writeMessage(umessage_view message, JsonSink& out) {
    out.beginObject();
    for (unsigned n = 0; n < message.size(); ++n) {
        const umessage_entry e = message.entry(n);
        const char* const word = typeWord(e.type());
        if (word == nullptr) continue;
        out.key(e.name());
        out.beginObject();
        out.key(word);
        umessage_cursor values(e);
        if (e.count() == 1 && !e.isArray()) {
            writeViewValue(out, e.type(), values);
        } else {
            out.beginArray();
            for (unsigned i = 0; i < e.count(); ++i) writeViewValue(out, e.type(), values);
            out.endArray();
        }
        out.endObject();
    }
    out.endObject();
}

nlohmann::ordered_json messageToJson(const umessage& message) {
    JsonTreeBuilder tree;
    writeMessage(message, tree);
    return tree.take();
}

umessage messageFromJson(const nlohmann::ordered_json& json) {
    return messageFromJsonAt(json, "", 0);
}

}  // namespace inspect
