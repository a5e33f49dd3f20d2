#include "options.h"

#include <getopt.h>

#include <charconv>
#include <map>

namespace varnel_app {
namespace {

const char* const kProgramHelp =
    "usage: varnel-app [COMMAND] [OPTIONS]\n"
    "\n"
    "The Varnel application: holds jobs and answers the Varnel plug-in's requests on the session\n"
    "bus as com.corvane.Varnel. Without a command it serves the default jobs folder, as when the\n"
    "plug-in or the bus starts it.\n"
    "\n"
    "commands:\n"
    "  serve [--jobs DIR] [--out DIR]   hold the jobs of DIR and answer requests until stopped\n"
    "  select JOB                       make JOB the job answered when a request names none\n"
    "  export [--wait S] JOB            have the plug-in that asked last export JOB; wait for it\n"
    "  list                             the jobs held, the selected one marked '*'\n"
    "  history                          the exports reported, kept across restarts\n"
    "\n"
    "options:\n"
    "  -q, --quiet      log errors only\n"
    "  -v, --verbose    log debug lines too\n"
    "  -h, --help       this text; after a command, the command's\n"
    "      --version    the program's version\n"
    "\n"
    "select, export, list and history talk to the running 'varnel-app serve' and wait for its\n"
    "answer; with none running they fail. Run 'varnel-app COMMAND --help' for more. Options take\n"
    "their value as --jobs DIR or --jobs=DIR. Log lines go to standard error;\n"
    "VARNEL_LOG=error|warn|info|debug sets their level (default info), -q and -v override it.\n"
    "Exit status: 0 success, 1 failure (one line on standard error), 2 bad usage.\n";

const char* const kServeHelp =
    "usage: varnel-app [serve] [--jobs DIR] [--out DIR]\n"
    "\n"
    "Registers as com.corvane.Varnel on the session bus and answers the plug-in: 'detT' with\n"
    "'savY' (the job whose identifier the request names, else the selected job), 'dneT' with\n"
    "'sanY' (the selected job), records 'epsT' export reports, prints the job list on 'jlwT'\n"
    "and logs 'AboT'. One log line per event on standard error; started with no command and no\n"
    "terminal (by the bus or the plug-in), in $XDG_STATE_HOME/varnel/varnel-app.log. SIGTERM or\n"
    "SIGINT end it.\n"
    "\n"
    "  --jobs DIR  the jobs, one JSON file per job in varnel-inspect's job shape; default\n"
    "              $VARNEL_JOBS, else ../share/varnel/jobs beside this program. The first job by\n"
    "              file name starts selected. DIR is never written: a job an export changes is\n"
    "              kept in $XDG_DATA_HOME/varnel/jobs and taken from there from then on.\n"
    "  --out DIR   where exports land: a job whose documentFile is empty or relative is sent with\n"
    "              it under DIR (empty: DIR/<job file name>); the plug-in writes the PDF next to\n"
    "              it. Default $XDG_DATA_HOME/varnel/out (~/.local/share/varnel/out).\n"
    "\n"
    "Replies carry the jobs with the problem-description catalogue (a job's own\n"
    "\"problemDescriptions\" replace entries of the same name), the job's \"ticket\", and the\n"
    "required boxes of the active group where the job gives none.\n";

const char* const kSelectHelp =
    "usage: varnel-app select JOB\n"
    "\n"
    "Makes JOB the selected job of the running instance: the job a new-details request gets,\n"
    "and a details request that names no job it holds. JOB is a job's identifier, its file name\n"
    "without \".json\", or its \"DN\".\n";

const char* const kExportHelp =
    "usage: varnel-app export [--wait SECONDS] JOB\n"
    "\n"
    "Has the running instance send 'expY' with JOB to the plug-in that sent the last request,\n"
    "which exports its open document as PDF and reports back with 'epsT'. JOB as for select.\n"
    "Waits for that report and prints it; exits 1 when none came within SECONDS (default 60),\n"
    "as when the plug-in could not write the PDF. --wait 0 only sends the request. An export\n"
    "asked and not reported shows in 'varnel-app history'.\n";

const char* const kListHelp =
    "usage: varnel-app list\n"
    "\n"
    "Prints the jobs of the running instance, one a line: '*' for the selected job, the job's\n"
    "name, identifier, \"DN\", groups with the active one, and document file.\n";

const char* const kHistoryHelp =
    "usage: varnel-app history\n"
    "\n"
    "Prints the exports the plug-in reported, one a line: when, the job, the destinations\n"
    "exported, the PDF, and the group that became active (the last 1000, kept in\n"
    "$XDG_DATA_HOME/varnel/history across restarts); then the exports the running instance asked\n"
    "for and was not told of: when, the job, \"asked, not reported\".\n";

struct CommandInfo {
    Command command;
    bool takesJob;
    const char* help;
};

const std::map<std::string, CommandInfo>& commands() {
    static const std::map<std::string, CommandInfo> table = {
        {"serve", {Command::Serve, false, kServeHelp}},
        {"select", {Command::Select, true, kSelectHelp}},
        {"export", {Command::Export, true, kExportHelp}},
        {"list", {Command::List, false, kListHelp}},
        {"history", {Command::History, false, kHistoryHelp}},
    };
    return table;
}

// A whole number of seconds, at most a day.
unsigned parseSeconds(const std::string& text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value > 86400)
        throw UsageError("--wait takes a whole number of seconds up to 86400, not '" + text + "'");
    return value;
}

// Long options without a short form.
enum OptionCode : int { kJobs = 256, kOut, kWait, kVersion };

}  // namespace

Options parseOptions(const std::vector<std::string>& args) {
    static const option kOptions[] = {
        {"jobs", required_argument, nullptr, kJobs}, {"out", required_argument, nullptr, kOut},
        {"wait", required_argument, nullptr, kWait}, {"quiet", no_argument, nullptr, 'q'},
        {"verbose", no_argument, nullptr, 'v'},      {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, kVersion}, {nullptr, 0, nullptr, 0},
    };
    // getopt_long reorders the pointers; the words stay ours.
    std::vector<std::string> words(args);
    words.insert(words.begin(), "varnel-app");
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());

    Options options;
    std::vector<std::pair<std::string, std::string>> given;  // command options, with their command
    optind = 0;
    opterr = 1;  // glibc words the complaint, as for other GNU programs
    for (int code; (code = getopt_long(argc, argv.data(), "qvh", kOptions, nullptr)) != -1;) {
        switch (code) {
            case 'q': options.logLevel = vnu::loglevel::error; break;
            case 'v': options.logLevel = vnu::loglevel::debug; break;
            case 'h': options.help = true; break;
            case kVersion: options.version = true; break;
            case kJobs:
                options.jobsFolder = optarg;
                given.emplace_back("--jobs", "serve");
                break;
            case kOut:
                options.outFolder = optarg;
                given.emplace_back("--out", "serve");
                break;
            case kWait:
                options.waitSeconds = parseSeconds(optarg);
                given.emplace_back("--wait", "export");
                break;
            default: throw UsageError("");
        }
    }
    const std::vector<std::string> operands(argv.begin() + optind, argv.begin() + argc);
    std::string name = "serve";
    if (!operands.empty()) {
        name = operands[0];
        if (commands().count(name) == 0) throw UsageError("unknown command '" + name + "'");
        options.commandNamed = true;
    }
    const CommandInfo& info = commands().at(name);
    options.command = info.command;
    if (options.help || options.version) return options;
    for (const auto& [option, command] : given) {
        if (command != name) throw UsageError("option '" + option + "' is for '" + command + "' only");
    }
    const size_t allowed = info.takesJob ? 2 : 1;
    if (operands.size() > allowed) throw UsageError("unexpected argument '" + operands[allowed] + "'");
    if (info.takesJob && operands.size() == 2) options.job = operands[1];
    if (info.takesJob && options.job.empty()) throw UsageError("which job? (varnel-app " + name + " JOB)");
    return options;
}

std::string helpText(const Options& options) {
    if (!options.commandNamed) return kProgramHelp;
    for (const auto& [name, info] : commands())
        if (info.command == options.command) return info.help;
    return kProgramHelp;
}

const char* version() {
    return VARNEL_VERSION;
}

}  // namespace varnel_app
