#include "cli.h"

#include <getopt.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "input.h"
#include "job/BJobFile.h"
#include "jobjson/job_json.h"
#include "jobjson/message_json.h"
#include "jobjson/view_input.h"
#include "keystream/UKeyStream.h"
#include "keystream_dump.h"
#include "support/hexcodec.h"
#include "support/ulogger.h"
#include "text/ustring_utils.h"

namespace inspect {
namespace {

using json = nlohmann::ordered_json;

const char* const kUsage =
    "usage: varnel-inspect COMMAND [OPTIONS] [FILE]\n"
    "\n"
    "Decodes and encodes the Varnel plug-in's wire formats. FILE absent or \"-\" reads standard\n"
    "input. With --hex, binary input and output are the hexadecimal text of the event channel.\n"
    "\n"
    "commands:\n"
    "  keystream   any key stream as an indented tree of fields\n"
    "  job         a job file as JSON\n"
    "  encode      JSON to a job file\n"
    "  checks      the check settings decoded from a job file\n"
    "  message     a flattened typed message as JSON, or JSON to a flattened message (--encode)\n"
    "\n"
    "options:\n"
    "  -q, --quiet     log errors only\n"
    "  -v, --verbose   log debug lines too\n"
    "  -h, --help      this text; after a command, the command's options\n"
    "      --version   the program's version\n"
    "\n"
    "Options take their value as --flags 2 or --flags=2. What the plug-in's code logs while\n"
    "reading shows on standard error after a successful run; VARNEL_LOG=error|warn|info|debug\n"
    "sets the level (default info), -q and -v override it. Exit status: 0 success, 1 bad\n"
    "input (one line on standard error naming the program, the input and what is wrong),\n"
    "2 bad usage.\n";

// Long options without a short form.
enum OptionCode : int { kHex = 256, kFlags, kEncode, kFormatVersion, kVersion };

// Which of the command options a command takes, by their bits.
constexpr unsigned bit(int code) {
    return 1u << (code - kHex);
}

struct Options {
    std::string command;
    std::string file = "-";
    bool hex = false;
    bool encode = false;
    int formatVersion = 4;
    int flags = 4;
    bool help = false;
    bool version = false;
    std::optional<vnu::loglevel> logLevel;
    unsigned given = 0;  // the bits of the command options given
};

// What a command shows, written once all of its input is read and judged: a large output goes
// out as it is made, never held whole, and an input found bad has written nothing.
using Output = std::function<void(std::ostream& out)>;

struct Command {
    const char* help;
    unsigned options;  // the bits of the command options it takes
    // Whether the input is bytes (which --hex turns into text) rather than JSON.
    std::function<bool(const Options&)> binaryInput;
    // Reads no more of `input` than it decodes.
    std::function<Output(const Options&, std::streambuf& input)> run;
};

bool alwaysBinary(const Options&) {
    return true;
}
bool neverBinary(const Options&) {
    return false;
}
bool binaryUnlessEncoding(const Options& o) {
    return !o.encode;
}

class UsageError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Decodes a flattened message. The reader reports why it failed only in its log line, so the
// line is captured and its text becomes `reason` (empty for an unknown version, which the
// reader does not log).
bool unflattenQuietly(std::istream& in, umessage& message, std::string& reason) {
    std::ostringstream captured;
    std::ostream* const saved = vnu::logger.stream();
    const unsigned savedMask = vnu::logger.mask;
    vnu::logger.setStream(&captured);
    vnu::logger.mask = static_cast<unsigned>(vnu::loglevel::error);
    const bool ok = message.unflatten(in);
    vnu::logger.setStream(saved);
    vnu::logger.mask = savedMask;
    const std::string line = captured.str();
    // "[time][ERROR][thread][location] text\n"
    const size_t text = line.find("] ");
    reason = ok || text == std::string::npos ? "" : line.substr(text + 2, line.find('\n', text) - text - 2);
    return ok;
}

bool tryUnflatten(std::string_view bytes, umessage& message) {
    std::string reason;
    ViewInput view(bytes);
    std::istream in(&view);
    return !bytes.empty() && unflattenQuietly(in, message, reason);
}

Output binaryOutput(const Options& o, const std::string& bytes) {
    return [text = o.hex ? vnu::HexEncode(bytes) + '\n' : bytes](std::ostream& out) { out << text; };
}

Output textOutput(const std::ostringstream& text) {
    return [text = text.str()](std::ostream& out) { out << text; };
}

// Writes `write`'s JSON and the line's end; `margin` spaces start each line.
template <class Write>
void writeJson(std::ostream& out, int margin, Write write) {
    JsonWriter writer(out, margin);
    write(static_cast<JsonSink&>(writer));
    writer.flush();
    out << '\n';
}

Output keystreamCommand(const Options&, std::streambuf& input) {
    bool more = false;
    auto bytes = std::make_shared<const std::string>(readRootRecord(input, &more));
    {
        // The plug-in's own reader judges the header, so its error texts are the ones shown.
        ViewInput view(*bytes);
        std::istream in(&view);
        UKeyInStream reader(in);
    }
    checkKeyStream(*bytes);
    // Counting what follows would mean reading it all, and an endless input never ends.
    if (more)
        throw std::runtime_error("key stream: offset " + std::to_string(bytes->size()) +
                                 ": the input goes on after the root record");
    return [bytes](std::ostream& out) {
        dumpKeyStream(*bytes, out, [](std::string_view field, std::ostream& os, int indent) {
            umessage message;
            if (!tryUnflatten(field, message)) return false;
            os << "flattened message\n";
            // Every line of the message indented as the field it is in.
            writeJson(os, indent * 2, [&](JsonSink& json) { writeMessage(message, json); });
            return true;
        });
    };
}

json parseJson(std::streambuf& input) {
    // The parser keeps its own stack, but everything after it recurses: the depth is settled
    // while parsing, before a deep document is even built.
    const json::parser_callback_t limitDepth = [](int depth, json::parse_event_t event, json&) {
        if ((event == json::parse_event_t::object_start || event == json::parse_event_t::array_start) &&
            depth >= kMaxJsonDepth)
            throw std::runtime_error("JSON: nested deeper than " + std::to_string(kMaxJsonDepth) + " levels");
        return true;
    };
    std::istream in(&input);
    try {
        return json::parse(in, limitDepth);
    } catch (const json::parse_error& e) {
        throw std::runtime_error(std::string("JSON: ") + e.what());
    }
}

Output messageCommand(const Options& o, std::streambuf& input) {
    if (o.encode) {
        std::ostringstream bytes;
        messageFromJson(parseJson(input)).flatten(bytes, o.formatVersion);
        return binaryOutput(o, bytes.str());
    }
    auto message = std::make_shared<umessage>();
    std::string reason;
    // The reader takes the bytes as they come and stops at the first one it refuses.
    std::istream in(&input);
    if (!unflattenQuietly(in, *message, reason))
        throw std::runtime_error("not a flattened message" +
                                 (reason.empty() ? std::string() : ": " + reason));
    return [message](std::ostream& out) {
        writeJson(out, 0, [&](JsonSink& json) { writeMessage(*message, json); });
    };
}

Output jobCommand(const Options& o, std::streambuf& input) {
    // The bytes go as soon as the job is read from them.
    auto job = std::make_shared<const DecodedJob>(readRootRecord(input), o.flags);
    return [job](std::ostream& out) { writeJson(out, 0, [&](JsonSink& json) { job->write(json); }); };
}

Output encodeCommand(const Options& o, std::streambuf& input) {
    return binaryOutput(o, jobFromJson(parseJson(input), o.flags));
}

// A string as JSON writes it, quoted and escaped; U+FFFD where it is not UTF-8.
std::string jsonString(std::string_view text) {
    std::ostringstream out;
    JsonWriter(out).string(text);
    return out.str();
}

Output checksCommand(const Options&, std::streambuf& input) {
    std::ostringstream out;
    BJobFile job;
    std::istringstream in(readRootRecord(input));
    job.JobFileReadFromBuffer(in, BJobFile::kFlagFull);
    const BCheckSettingList& list = job.GetCheckSettings();
    static const char* const kValueNames[] = {"note", "warn", "fault", "ignore"};
    for (const BCheckSetting* setting : list.settings()) {
        const int type = setting->GetSettingType();
        out << setting->GetName()
            << " type=" << (type >= 0 && type < 11 ? BCheckSetting::kProblemTypeNames[type] : "?")
            << " severity=" << severityWord(setting->GetSeverity()) << " values=";
        for (int i = 0; i < BCheckSetting::kValueCount; ++i)
            out << (i ? "," : "") << kValueNames[i] << ':'
                << (setting->GetValueNULL(i) ? std::string("-") : vnu::ShortestText(setting->GetValue(i)));
        out << " strings=";
        for (int i = 0; i < BCheckSetting::kValueCount; ++i)
            out << (i ? "," : "")
                << (setting->GetStringParamNULL(i) ? std::string("-")
                                                   : jsonString(setting->GetStringParam(i).str()));
        out << " precision=" << setting->GetPrecision()
            << " userUnits=" << (setting->GetUseUserUnits() ? "mm" : "no") << '\n';
    }
    out << "default PDF version: " << vnu::ShortestText(list.GetDefaultPDFVersion()) << '\n';
    return textOutput(out);
}

const std::map<std::string, Command>& commands() {
    static const std::map<std::string, Command> table = {
        {"keystream",
         {"usage: varnel-inspect keystream [--hex] [FILE]\n"
          "Shows any key stream as an indented tree: key (two characters when printable, else\n"
          "its number), type name and code, data length and the value decoded by type. Records\n"
          "and arrays nest; fields holding a flattened message are shown decoded as JSON; other\n"
          "long data as hexadecimal.\n",
          bit(kHex), alwaysBinary, keystreamCommand}},
        {"job",
         {"usage: varnel-inspect job [--flags N] [--hex] [FILE]\n"
          "Reads a job file with the stream flags N (2 document copy, 4 request or reply; default\n"
          "4) and shows it as JSON: every field of the job, its groups and destinations, page\n"
          "ranges, exported destinations, boxes, and the ticket ('SR') and problem descriptions\n"
          "('Dp') as message JSON. 'encode' takes the same shape.\n",
          bit(kFlags) | bit(kHex), alwaysBinary, jobCommand}},
        {"encode",
         {"usage: varnel-inspect encode [--flags N] [--hex] [FILE]\n"
          "Writes the job file described by JSON of the shape 'job' shows, with the stream flags N\n"
          "(default 4), as the companion application sends it: 'Dp', the job, 'SR', 'BP'. A job\n"
          "without an identifier gets a fresh one.\n",
          bit(kFlags) | bit(kHex), neverBinary, encodeCommand}},
        {"checks",
         {"usage: varnel-inspect checks [--hex] [FILE]\n"
          "Reads a job file as a reply and lists the check settings decoded from it, one line per\n"
          "setting: name, type, severity, the note, warn, fault and ignore values ('-' when not\n"
          "set), the string parameters, the precision and whether lengths are in user units\n"
          "(millimetres); then the default PDF version.\n",
          bit(kHex), alwaysBinary, checksCommand}},
        {"message",
         {"usage: varnel-inspect message [--hex] [FILE]\n"
          "       varnel-inspect message --encode [--format-version V] [--hex] [FILE]\n"
          "Decodes a flattened typed message to JSON, or with --encode writes the flattened form\n"
          "(version V, 1 to 4, default 4) of a JSON message. Each entry is an object naming its\n"
          "type: {\"n\": {\"int\": 5}, \"list\": {\"double\": [1.5, 2]}, \"sub\": {\"message\": {...}}};\n"
          "types are int, long long, bool, double, string and message. After --encode,\n"
          "--version V means --format-version V, as it did before the program had a version.\n",
          bit(kHex) | bit(kEncode) | bit(kFormatVersion), binaryUnlessEncoding, messageCommand}},
    };
    return table;
}

int parseInt(const std::string& option, const std::string& value) {
    try {
        size_t used = 0;
        const int v = std::stoi(value, &used, 0);
        if (used == value.size()) return v;
    } catch (const std::exception&) {
    }
    throw UsageError(option + " needs an integer, not \"" + value + "\"");
}

// What getopt_long refused, worded as glibc words it: run() answers on the caller's streams, so
// glibc cannot be left to print it. `word` is the argument it stopped at.
std::string optionProblem(int code, int refused, std::string_view word, const option* options) {
    if (word.starts_with("--")) {
        const std::string_view typed = word.substr(2, word.find('=') - 2);
        std::vector<const option*> matches;
        for (const option* o = options; o->name != nullptr; ++o) {
            if (o->name == typed) {
                matches.assign(1, o);
                break;
            }
            if (std::string_view(o->name).starts_with(typed)) matches.push_back(o);
        }
        if (matches.size() > 1) {
            std::string text = "option '" + std::string(word) + "' is ambiguous; possibilities:";
            for (const option* o : matches) text += std::string(" '--") + o->name + "'";
            return text;
        }
        const std::string name = matches.empty() ? "" : std::string("--") + matches[0]->name;
        if (code == ':' && !name.empty()) return "option '" + name + "' requires an argument";
        if (refused == 0) return "unrecognized option '" + std::string(word) + "'";
        // Else a long option given a value it does not take, or a short one later in a cluster.
        if (!name.empty() && matches[0]->val == refused)
            return "option '" + name + "' doesn't allow an argument";
    }
    return std::string(code == ':' ? "option requires an argument" : "invalid option") + " -- '" +
           static_cast<char>(refused) + "'";
}

// An argument vector for getopt_long, which reorders its pointers as it goes.
class ArgumentVector {
public:
    explicit ArgumentVector(const std::vector<std::string>& args) : words_(args) {
        words_.insert(words_.begin(), "varnel-inspect");
        for (std::string& word : words_) pointers_.push_back(word.data());
        pointers_.push_back(nullptr);
    }
    int count() const { return static_cast<int>(words_.size()); }
    char** get() { return pointers_.data(); }

private:
    std::vector<std::string> words_;
    std::vector<char*> pointers_;
};

Options parse(const std::vector<std::string>& args) {
    Options o;
    // After "message --encode", "--version V" is the format version, as it was before the
    // program had a version of its own.
    const auto given = [&](const char* word) {
        return std::find(args.begin(), args.end(), word) != args.end();
    };
    const bool formatVersion = given("message") && given("--encode");
    const option options[] = {
        {"hex", no_argument, nullptr, kHex},
        {"flags", required_argument, nullptr, kFlags},
        {"encode", no_argument, nullptr, kEncode},
        {"format-version", required_argument, nullptr, kFormatVersion},
        {"version", formatVersion ? required_argument : no_argument, nullptr,
         formatVersion ? kFormatVersion : kVersion},
        {"quiet", no_argument, nullptr, 'q'},
        {"verbose", no_argument, nullptr, 'v'},
        {"help", no_argument, nullptr, 'h'},
        {nullptr, 0, nullptr, 0},
    };
    ArgumentVector argv(args);
    optind = 0;  // a fresh scan, as run() may be called again
    opterr = 0;
    for (int code; (code = getopt_long(argv.count(), argv.get(), ":qvh", options, nullptr)) != -1;) {
        switch (code) {
            case 'q': o.logLevel = vnu::loglevel::error; break;
            case 'v': o.logLevel = vnu::loglevel::debug; break;
            case 'h': o.help = true; break;
            case kVersion: o.version = true; break;
            case kHex: o.hex = true; break;
            case kEncode: o.encode = true; break;
            case kFlags: o.flags = parseInt("--flags", optarg); break;
            case kFormatVersion: o.formatVersion = parseInt("--format-version", optarg); break;
            default: throw UsageError(optionProblem(code, optopt, argv.get()[optind - 1], options));
        }
        if (code >= kHex && code < kVersion) o.given |= bit(code);
    }
    char** const words = argv.get() + optind;
    const int count = argv.count() - optind;
    if (count > 0) o.command = words[0];
    if (count > 1) o.file = words[1];
    if (count > 2) throw UsageError("more than one input file: '" + o.file + "' and '" + words[2] + "'");
    return o;
}

const char* optionName(int code) {
    switch (code) {
        case kHex: return "--hex";
        case kFlags: return "--flags";
        case kEncode: return "--encode";
        case kFormatVersion: return "--format-version";
        default: return "";
    }
}

// Refuses a command option the command does not take, and the format version without --encode.
void checkApplies(const Options& o, const Command& command) {
    for (int code = kHex; code < kVersion; ++code) {
        if ((o.given & bit(code)) == 0) continue;
        const std::string name = optionName(code);
        if ((command.options & bit(code)) == 0)
            throw UsageError("option '" + name + "' does not apply to '" + o.command + "'");
        if (code == kFormatVersion && !o.encode) throw UsageError("option '" + name + "' needs --encode");
    }
    if (o.formatVersion < 1 || o.formatVersion > 4)
        throw UsageError("the format version must be 1 to 4, not " + std::to_string(o.formatVersion));
}

}  // namespace

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
    Options o;
    const Command* command = nullptr;
    try {
        o = parse(args);
        const auto found = commands().find(o.command);
        if (found != commands().end()) command = &found->second;
        const bool known = command != nullptr || o.command.empty() || o.command == "help";
        if (known && (o.help || o.command == "help")) {
            out << (command != nullptr ? command->help : kUsage);
            return 0;
        }
        if (o.version) {
            out << "varnel-inspect " VARNEL_VERSION "\n";
            return 0;
        }
        if (o.command.empty()) throw UsageError("no command given");
        if (!known) throw UsageError("unknown command '" + o.command + "'");
        checkApplies(o, *command);
    } catch (const UsageError& e) {
        err << "varnel-inspect: " << e.what() << "\nTry 'varnel-inspect --help'.\n";
        return 2;
    }
    const std::string name = o.file == "-" ? "stdin" : o.file;
    // What the plug-in's code logs while reading is shown after a successful run; a failed run
    // prints only its one error line.
    std::ostringstream log;
    struct RestoreLog {
        std::ostream* stream;
        unsigned mask;
        ~RestoreLog() {
            vnu::logger.setStream(stream);
            vnu::logger.mask = mask;
        }
    } restore{vnu::logger.stream(), vnu::logger.mask};
    vnu::logger.setStream(&log);
    if (o.logLevel) vnu::logger.mask = vnu::logMaskDownTo(*o.logLevel);
    // The layers of the input; the first problem among them, from the file up, is why the
    // bytes ended, whatever a reader made of their end.
    std::unique_ptr<FileInput> file;
    std::unique_ptr<HexInput> hex;
    const auto problem = [&]() -> std::string {
        const auto* standard = dynamic_cast<const CheckedInput*>(in.rdbuf());
        for (const CheckedInput* layer :
             {file ? file.get() : standard, static_cast<const CheckedInput*>(hex.get())})
            if (layer != nullptr && !layer->problem().empty()) return layer->problem();
        return {};
    };
    try {
        std::streambuf* input = in.rdbuf();
        if (o.file != "-") {
            file = FileInput::open(o.file);
            input = file.get();
        }
        if (input == nullptr) throw std::runtime_error("cannot be read");
        if (o.hex && command->binaryInput(o)) {
            hex = std::make_unique<HexInput>(*input);
            input = hex.get();
        }
        const Output output = command->run(o, *input);
        if (const std::string why = problem(); !why.empty()) throw std::runtime_error(why);
        output(out);
        out.flush();
        if (!out) {
            err << "varnel-inspect: the output cannot be written\n";
            return 1;
        }
        err << log.str();
        return 0;
    } catch (const std::exception& e) {
        const std::string why = problem();
        err << "varnel-inspect: " << name << ": " << (why.empty() ? e.what() : why) << '\n';
        return 1;
    }
}

}  // namespace inspect
