#include "CommandLine.h"

#include "Host.h"

namespace vhost {

namespace {
bool blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}
}  // namespace

CommandLine parseCommand(const std::string& line) {
    CommandLine command;
    std::vector<std::string> words;
    size_t i = 0;
    size_t restStart = std::string::npos;
    while (i < line.size()) {
        while (i < line.size() && blank(line[i])) ++i;
        if (i == line.size()) break;
        if (words.size() == 1 && restStart == std::string::npos) restStart = i;
        std::string word;
        while (i < line.size() && !blank(line[i])) {
            if (line[i] != '"') {
                word += line[i++];
                continue;
            }
            for (++i;; ++i) {
                if (i >= line.size()) throw CommandError("a quote is not closed: " + line);
                if (line[i] == '"') break;
                if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\'))
                    ++i;
                word += line[i];
            }
            ++i;
        }
        words.push_back(std::move(word));
    }
    if (words.empty() || words[0].empty() || words[0][0] == '#') return command;
    command.name = words[0];
    command.args.assign(words.begin() + 1, words.end());
    if (restStart != std::string::npos) command.rest = trim(line.substr(restStart));
    return command;
}

std::vector<std::string> splitCommands(const std::string& text) {
    std::vector<std::string> commands(1);
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ';' && !quoted) {
            commands.emplace_back();
            continue;
        }
        if (c == '\\' && quoted && i + 1 < text.size()) {
            commands.back() += c;
            commands.back() += text[++i];
            continue;
        }
        if (c == '"') quoted = !quoted;
        commands.back() += c;
    }
    return commands;
}

}  // namespace vhost
