// varnel-host: the stand-in host as a program. Options, the command source, exit status.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Host.h"
#include "Paths.h"

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kImbalance = 3;

const char* kUsageText =
    "Usage: varnel-host [OPTIONS] [SCRIPT]\n"
    "\n"
    "Loads a plug-in module, starts it (\"SP Interface\"/\"Startup\"), runs commands from SCRIPT,\n"
    "from -c, or from standard input, then shuts the plug-in down and unloads it. Each command\n"
    "answers on standard output; the host's own messages, the plug-in's log lines and the trace\n"
    "go to standard error.\n"
    "\n"
    "Options:\n"
    "  --plugin MODULE   the plug-in module (default: ../../plugin/VarnelPlugin.so beside\n"
    "                    this program in the build tree, else ../lib/varnel/VarnelPlugin.so)\n"
    "  --bundle DIR      the host's bundle folder, made the process's main bundle (default:\n"
    "                    VarnelHost beside this program, else ../share/varnel/VarnelHost)\n"
    "  -c 'CMD; CMD'     run these commands instead of a script\n"
    "  --trace           print every message sent to the plug-in and every suite call it makes\n"
    "  --strict          stop at the first command that fails, with exit status 1\n"
    "  --without SUITE   do not offer SUITE (\"AI Timer Suite\"); may be given again\n"
    "  --help            this text\n"
    "\n"
    "Standard input is read as commands when there is neither -c nor SCRIPT; at a terminal the\n"
    "main loop (bus events, timers) runs while the host waits for a line. Without --strict a\n"
    "command that fails prints one line on standard error and the next command runs.\n"
    "\n";

const char* kStatusText =
    "\n"
    "The host registers on the session bus as com.corvane.VarnelHost when DBUS_SESSION_BUS_ADDRESS\n"
    "names one, and runs without events otherwise.\n"
    "\n"
    "Exit status: 0 done; 1 the plug-in could not be loaded, a file could not be read, or a\n"
    "command failed under --strict; 2 bad usage; 3 a suite was not released as often as it was\n"
    "acquired (each such suite is named on standard error).\n";

struct Options {
    vhost::HostOptions host;
    std::string plugin;
    std::string bundle;
    std::string commands;
    bool haveCommands = false;
    std::string script;
    bool strict = false;
};

int usageError(const std::string& problem) {
    std::cerr << "varnel-host: " << problem << " (see --help)\n";
    return kUsage;
}

// Runs the commands of one source; false when --strict stops at a failure.
class Runner {
public:
    Runner(vhost::Host& host, bool strict) : host_(host), strict_(strict) {}

    bool run(const std::string& line, const std::string& where) {
        try {
            std::cout << host_.execute(line) << std::flush;
        } catch (const vhost::CommandError& e) {
            std::cout << std::flush;
            std::cerr << "varnel-host: " << where << ": " << e.what() << '\n';
            failed_ = true;
            return !strict_;
        }
        return true;
    }
    bool stopped() const { return host_.quitRequested() || (strict_ && failed_); }
    bool failed() const { return failed_; }

private:
    vhost::Host& host_;
    bool strict_;
    bool failed_ = false;
};

void runInteractive(vhost::Host& host, Runner& runner) {
    std::string pending;
    int number = 0;
    while (!runner.stopped()) {
        std::cout << "varnel-host> " << std::flush;
        host.waitForInput(STDIN_FILENO);
        if (host.quitRequested()) break;
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) break;
        pending.append(buffer, size_t(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos && !runner.stopped();) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            runner.run(line, "stdin:" + std::to_string(++number));
        }
    }
}

void runLines(std::istream& in, const std::string& name, Runner& runner) {
    int number = 0;
    for (std::string line; !runner.stopped() && std::getline(in, line);)
        runner.run(line, name + ":" + std::to_string(++number));
}

}  // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    Options o;
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&]() -> const std::string* { return i + 1 < args.size() ? &args[++i] : nullptr; };
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsageText << vhost::commandHelp() << kStatusText;
            return 0;
        }
        if (arg == "--trace") {
            o.host.trace = true;
        } else if (arg == "--strict") {
            o.strict = true;
        } else if (arg == "--plugin" || arg == "--bundle" || arg == "-c" || arg == "--without") {
            const std::string* v = value();
            if (v == nullptr) return usageError(arg + " needs a value");
            if (arg == "--plugin") o.plugin = *v;
            if (arg == "--bundle") o.bundle = *v;
            if (arg == "--without") o.host.withoutSuites.push_back(*v);
            if (arg == "-c") {
                o.commands = *v;
                o.haveCommands = true;
            }
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else if (o.script.empty()) {
            o.script = arg;
        } else {
            return usageError("one script only");
        }
    }
    if (o.haveCommands && !o.script.empty()) return usageError("give -c or a script, not both");

    std::ifstream script;
    if (!o.script.empty()) {
        script.open(o.script);
        if (!script) {
            std::cerr << "varnel-host: cannot read the script " << o.script << '\n';
            return kFailed;
        }
    }
    const std::string self = vhost::programFolder();
    o.host.pluginPath = o.plugin.empty() ? vhost::firstExisting(vhost::pluginCandidates(self)) : o.plugin;
    if (o.host.pluginPath.empty()) {
        const auto looked = vhost::pluginCandidates(self);
        std::cerr << "varnel-host: no plug-in module found (looked for " << looked[0] << " and " << looked[1]
                  << "); give one with --plugin MODULE\n";
        return kFailed;
    }
    if (!o.bundle.empty() && !std::filesystem::is_directory(o.bundle)) {
        std::cerr << "varnel-host: the bundle folder " << o.bundle << " does not exist\n";
        return kFailed;
    }
    o.host.bundlePath = o.bundle.empty() ? vhost::firstExisting(vhost::bundleCandidates(self))
                                         : std::filesystem::absolute(o.bundle).lexically_normal().string();
    if (o.host.bundlePath.empty())
        std::cerr << "varnel-host: no bundle folder found beside the program: the plug-in's texts stay "
                     "untranslated\n";

    try {
        vhost::Host host(o.host);
        Runner runner(host, o.strict);
        if (o.haveCommands) {
            int number = 0;
            for (const std::string& command : vhost::splitCommands(o.commands)) {
                if (runner.stopped() || !runner.run(command, "-c:" + std::to_string(++number))) break;
            }
        } else if (script.is_open()) {
            runLines(script, o.script, runner);
        } else if (::isatty(STDIN_FILENO)) {
            runInteractive(host, runner);
        } else {
            runLines(std::cin, "stdin", runner);
        }
        const std::vector<std::string> imbalances = host.shutDown();
        for (const std::string& line : imbalances) std::cerr << "varnel-host: " << line << '\n';
        if (o.strict && runner.failed()) return kFailed;
        return imbalances.empty() ? 0 : kImbalance;
    } catch (const std::exception& e) {
        std::cerr << "varnel-host: " << e.what() << '\n';
        return kFailed;
    }
}
