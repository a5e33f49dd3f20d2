// Documents as JSON, the form the host saves and opens them in.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "Document.h"

namespace vhost {

// Deeper input is refused before it is parsed.
constexpr int kMaxJsonDepth = 64;

nlohmann::json documentToJson(const Document& doc);
// Saved text: the JSON indented, ending with a newline. The same document gives the same bytes.
std::string documentText(const Document& doc);

// Parses `text`, refusing nesting beyond kMaxJsonDepth, and a text whose tree would take more
// memory than a fixed multiple of its size ("report.json: too many arrays for a file of N bytes",
// see vnu::ReadBudget); errors name `source` and the place ("report.json: line 3, column 7: ...").
// Throws std::runtime_error.
nlohmann::json parseJson(const std::string& text, const std::string& source);
// The document in `value`; errors name `source` and the member ("report.json: /art/2/segments: ...").
// The result has no id, file or title number yet.
Document documentFromJson(const nlohmann::json& value, const std::string& source);

}  // namespace vhost
