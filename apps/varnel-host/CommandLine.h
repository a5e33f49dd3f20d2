// Command lines: words, quoting, and several commands on one line.
#pragma once

#include <string>
#include <vector>

namespace vhost {

struct CommandLine {
    std::string name;
    std::vector<std::string> args;
    std::string rest;  // the text after the name as typed, without surrounding blanks
};

// Words are separated by blanks; "double quotes" keep blanks, with \" and \\ inside. A line
// that is blank or starts with '#' has no name. Throws CommandError for an unclosed quote.
CommandLine parseCommand(const std::string& line);
// Cuts `text` at every ';' outside double quotes.
std::vector<std::string> splitCommands(const std::string& text);

}  // namespace vhost
