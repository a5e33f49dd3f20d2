// Documents as JSON, the form the host saves and opens them in.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

#include "Document.h"

namespace vhost {

// Deeper input is refused.
constexpr int kMaxJsonDepth = 64;

// Saved text, written straight from the document: one art object and one path segment a line, a
// segment's handles only where they leave its anchor. The same document gives the same bytes.
// Throws std::runtime_error for a text of the document that is not UTF-8.
std::string documentText(const Document& doc);
// The same with `pdfOptions` in place of the document's own.
std::string documentText(const Document& doc, const std::optional<ActionParams>& pdfOptions);
// The saved text as a tree, for reports.
nlohmann::json documentToJson(const Document& doc);

// The document in `text`, read straight from it. Errors name `source` and the place: the line
// and column of a text that is not JSON ("report.json: line 3, column 7: ..."), the member of one
// that is not a document ("report.json: /art/2/segments: ..."), and what there is too much of
// for a text that would take more memory than a fixed multiple of its size. The result has no id,
// file or title number yet. Throws std::runtime_error.
Document documentFromText(std::string_view text, const std::string& source);

// Parses `text`, refusing nesting beyond kMaxJsonDepth, and a text whose tree would take more
// memory than a fixed multiple of its size ("report.json: too many arrays for a file of N bytes",
// see vnu::ReadBudget); errors name `source` and the place ("report.json: line 3, column 7: ...").
// Throws std::runtime_error.
nlohmann::json parseJson(const std::string& text, const std::string& source);
// The document in a tree, as documentFromText reads its text.
Document documentFromJson(const nlohmann::json& value, const std::string& source);

}  // namespace vhost
