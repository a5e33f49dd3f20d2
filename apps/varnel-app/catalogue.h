// The problem-description catalogue every reply carries as its 'Dp' field: for each of the
// problem names, its setting type, whether its values are lengths in the user's units, its
// default check and its conflicts, as a message in varnel-inspect's JSON shape.
#pragma once

#include <nlohmann/json.hpp>

namespace varnel_app {

// Parsed once from the text built into the program (resources/problem-descriptions.json).
const nlohmann::ordered_json& problemCatalogue();

// The catalogue with the entries of `own` (a job's "problemDescriptions") in place of those of
// the same name. Throws std::runtime_error when `own` is not an object.
nlohmann::ordered_json descriptionsFor(const nlohmann::ordered_json* own);

}  // namespace varnel_app
