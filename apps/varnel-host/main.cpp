// varnel-host: the stand-in host as a program. Options, the command source, exit status.
#include <getopt.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "Host.h"
#include "Paths.h"
#include "support/ulogger.h"

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
    "      --plugin MODULE  the plug-in module (default: ../../plugin/VarnelPlugin.so beside\n"
    "                       this program in the build tree, else ../lib/varnel/VarnelPlugin.so)\n"
    "      --bundle DIR     the host's bundle folder, made the process's main bundle (default:\n"
    "                       VarnelHost beside this program, else ../share/varnel/VarnelHost)\n"
    "  -c 'CMD; CMD'        run these commands instead of a script\n"
    "      --trace          print every message sent to the plug-in and every suite call it makes\n"
    "      --strict         stop at the first command that fails, with exit status 1\n"
    "      --without SUITE  do not offer SUITE (\"AI Timer Suite\"); may be given again\n"
    "  -q, --quiet          log errors only, the plug-in's log lines too\n"
    "  -v, --verbose        log debug lines too, the plug-in's among them\n"
    "  -h, --help           this text\n"
    "      --version        the program's version\n"
    "\n"
    "Options take their value as --plugin MODULE or --plugin=MODULE. Standard input is read as\n"
    "commands when there is neither -c nor SCRIPT; at a terminal the main loop (bus events,\n"
    "timers) runs while the host waits for a line. Without --strict a command that fails prints\n"
    "one line on standard error and the next command runs. Log lines, the host's and the\n"
    "plug-in's, go to standard error at the level VARNEL_LOG=error|warn|info|debug names\n"
    "(default info); -q and -v set it for both.\n"
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
    bool help = false;
    bool version = false;
    const char* logLevel = nullptr;  // -q, -v: a VARNEL_LOG word
};

// Empty `problem`: getopt_long has said what is wrong.
int usageError(const std::string& problem) {
    if (!problem.empty()) std::cerr << "varnel-host: " << problem << '\n';
    std::cerr << "Try 'varnel-host --help'.\n";
    return kUsage;
}

// Long options without a short form.
enum OptionCode : int { kPlugin = 256, kBundle, kWithout, kTrace, kStrict, kVersion };

// Fills `o`; returns the exit status of a usage error, or 0.
int parseOptions(int argc, char** argv, Options& o) {
    static const option kOptions[] = {
        {"plugin", required_argument, nullptr, kPlugin},
        {"bundle", required_argument, nullptr, kBundle},
        {"without", required_argument, nullptr, kWithout},
        {"trace", no_argument, nullptr, kTrace},
        {"strict", no_argument, nullptr, kStrict},
        {"quiet", no_argument, nullptr, 'q'},
        {"verbose", no_argument, nullptr, 'v'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, kVersion},
        {nullptr, 0, nullptr, 0},
    };
    // glibc words the complaint, naming the program as people call it.
    static char program[] = "varnel-host";
    argv[0] = program;
    opterr = 1;
    for (int code; (code = getopt_long(argc, argv, "c:qvh", kOptions, nullptr)) != -1;) {
        switch (code) {
            case kPlugin: o.plugin = optarg; break;
            case kBundle: o.bundle = optarg; break;
            case kWithout: o.host.withoutSuites.push_back(optarg); break;
            case kTrace: o.host.trace = true; break;
            case kStrict: o.strict = true; break;
            case 'c':
                o.commands = optarg;
                o.haveCommands = true;
                break;
            case 'q': o.logLevel = "error"; break;
            case 'v': o.logLevel = "debug"; break;
            case 'h': o.help = true; break;
            case kVersion: o.version = true; break;
            default: return usageError("");
        }
    }
    if (o.help || o.version) return 0;
    if (argc - optind > 1)
        return usageError(std::string("one script only, not also '") + argv[optind + 1] + "'");
    if (optind < argc) o.script = argv[optind];
    if (o.haveCommands && !o.script.empty()) return usageError("give -c or a script, not both");
    return 0;
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
    if (const int status = parseOptions(argc, argv, o); status != 0) return status;
    if (o.help) {
        std::cout << kUsageText << vhost::commandHelp() << kStatusText;
        return 0;
    }
    if (o.version) {
        std::cout << "varnel-host " VARNEL_VERSION "\n";
        return 0;
    }
    // The plug-in's copy of the logger reads the variable as its module loads. A word naming no
    // level has been warned about by this program's copy; once is enough.
    const char* const named = std::getenv("VARNEL_LOG");
    if (o.logLevel == nullptr && named != nullptr && *named != '\0' && !vnu::logLevelNamed(named))
        o.logLevel = "info";
    if (o.logLevel != nullptr) {
        ::setenv("VARNEL_LOG", o.logLevel, 1);
        vnu::logger.mask = vnu::logMaskDownTo(*vnu::logLevelNamed(o.logLevel));
    }

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
