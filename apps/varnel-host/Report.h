// What the commands show: documents, menus and recorded actions, as text and as JSON.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "HostState.h"

namespace vhost {

// Title and file, size, artboards, guides with their marks, other art, dictionary entries by
// key and size, profiles; one fact per line.
std::string describeDocument(const Document& doc);
// The document's saved form with its "title", "file" and "modified" state.
nlohmann::json documentReport(const Document& doc);
// One line per open document, the current one marked with '*'.
std::string describeDocuments(DocumentStore& docs);
// Every menu item under its group, with its enabled state and keyboard equivalent.
std::string describeMenus(const HostState& state);
std::string describeActions(const std::vector<ActionRecord>& actions);
nlohmann::json actionsReport(const std::vector<ActionRecord>& actions);

}  // namespace vhost
