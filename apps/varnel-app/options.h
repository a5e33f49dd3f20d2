// The command line of varnel-app.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/ulogger.h"

namespace varnel_app {

enum class Command { Serve, Select, Export, List, History };

struct Options {
    Command command = Command::Serve;
    bool commandNamed = false;  // false: no command word, serve by default
    bool help = false;
    bool version = false;
    std::optional<vnu::loglevel> logLevel;  // -q, -v: over VARNEL_LOG's
    std::string jobsFolder;  // serve; empty: the default folder
    std::string outFolder;   // serve; empty: the default folder
    std::string job;         // select, export
    unsigned waitSeconds = 60;  // export: how long to wait for the plug-in's report; 0: not at all
};

// An empty text: getopt_long has said what is wrong on standard error.
class UsageError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Options take their value as --wait 5 or --wait=5, anywhere after the program's name.
// Throws UsageError naming what is wrong.
Options parseOptions(const std::vector<std::string>& args);

// The help of the command the options name, or of the whole program when they name none.
std::string helpText(const Options& options);
// The program's version, "1.0.0".
const char* version();

}  // namespace varnel_app
