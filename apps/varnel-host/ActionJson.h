// Action parameter blocks as JSON: the recorded actions and a PDF document's export options.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "ActionParams.h"

namespace vhost {

// [{"key": "comp", "type": "enumerated", "typeName": "Compatibility", "value": 20}, ...]
nlohmann::json paramsToJson(const ActionParams& params);
// The inverse; throws std::runtime_error naming `where` and the entry for anything else.
ActionParams paramsFromJson(const nlohmann::json& value, const std::string& where);

}  // namespace vhost
