#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "control_client.h"
#include "options.h"
#include "serve.h"

namespace {

using varnel_app::Command;

int runCommand(const varnel_app::Options& options) {
    const char* method = nullptr;
    std::optional<std::string> argument;
    switch (options.command) {
        case Command::Select: method = "Select", argument = options.job; break;
        case Command::Export:
            method = options.waitSeconds > 0 ? "ExportAndWait" : "Export", argument = options.job;
            break;
        case Command::List: method = "List"; break;
        case Command::History: method = "History"; break;
        case Command::Serve: return varnel_app::serve(options);
    }
    try {
        const uint64_t timeout = options.command == Command::Export ? options.waitSeconds * 1000000ull : 0;
        std::cout << varnel_app::callControl(method, argument, timeout) << std::flush;
        return 0;
    } catch (const varnel_app::ControlTimeout&) {
        std::cerr << "varnel-app: no export report for " << options.job << " within " << options.waitSeconds
                  << " s: the plug-in did not export it (see 'varnel-app history')\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "varnel-app: " << e.what() << "\n";
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    varnel_app::Options options;
    try {
        options = varnel_app::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const varnel_app::UsageError& e) {
        if (*e.what() != '\0') std::cerr << "varnel-app: " << e.what() << '\n';
        std::cerr << "Try 'varnel-app --help'.\n";
        return 2;
    }
    if (options.help) {
        std::cout << varnel_app::helpText(options);
        return 0;
    }
    if (options.version) {
        std::cout << "varnel-app " << varnel_app::version() << '\n';
        return 0;
    }
    if (options.logLevel) vnu::logger.mask = vnu::logMaskDownTo(*options.logLevel);
    return runCommand(options);
}
