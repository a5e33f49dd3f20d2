// The command line of varnel-app.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace varnel_app {

enum class Command { Serve, Select, Export, List, History };

struct Options {
    Command command = Command::Serve;
    bool commandNamed = false;  // false: no command word, serve by default
    bool help = false;
    std::string jobsFolder;  // serve; empty: the default folder
    std::string outFolder;   // serve; empty: the default folder
    std::string job;         // select, export
    unsigned waitSeconds = 60;  // export: how long to wait for the plug-in's report; 0: not at all
};

class UsageError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws UsageError naming what is wrong.
Options parseOptions(const std::vector<std::string>& args);

// The help of the command the options name, or of the whole program when they name none.
std::string helpText(const Options& options);

}  // namespace varnel_app
