// Typed messages as JSON and back. Each entry is an object with one member naming the element
// type ("int", "long long", "bool", "double", "string", "message"); its value is a single JSON
// value, or a JSON array when the entry is an array:
//   {"version": {"int": 3}, "checks": {"message": [{...}, {...}]}, "name": {"string": "A"}}
// Doubles that JSON cannot hold are written as "NaN", "Infinity", "-Infinity"; strings that are
// not UTF-8 as {"hex": "C3"}.
#pragma once

#include <nlohmann/json.hpp>

#include "jobjson/json_writer.h"
#include "message/umessage.h"
#include "message/umessage_image.h"

namespace inspect {

// The deepest JSON the inspector reads. A message the flattened form can hold needs three levels
// per nesting level (the entry's type object, an array, the nested message), one for the top and
// three for a {"hex"} string array at the bottom; a job puts one more around its messages.
inline constexpr int kMaxJsonDepth = 3 * umessage::kMaxNesting + 5;

// Writes the message's entries in key order as they are walked; nothing else of the message is
// copied.
void writeMessage(const umessage& message, JsonSink& out);
void writeMessage(umessage_view message, JsonSink& out);
nlohmann::ordered_json messageToJson(const umessage& message);

// Throws std::runtime_error naming the entry's path and what is wrong, also for messages nested
// deeper than umessage::kMaxNesting, which no reader would accept.
umessage messageFromJson(const nlohmann::ordered_json& json);

}  // namespace inspect
