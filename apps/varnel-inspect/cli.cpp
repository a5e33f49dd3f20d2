#include "cli.h"

#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "input.h"
#include "job/BJobFile.h"
#include "jobjson/job_json.h"
#include "jobjson/message_json.h"
#include "keystream/UKeyStream.h"
#include "keystream_dump.h"
#include "support/hexcodec.h"
#include "support/ulogger.h"

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
    "Run 'varnel-inspect COMMAND --help' for a command's options. Exit status: 0 success,\n"
    "1 bad input (one line on standard error naming the program, the input and what is wrong),\n"
    "2 bad usage.\n";

struct Options {
    std::string command;
    std::string file = "-";
    bool hex = false;
    bool encode = false;
    int version = 4;
    int flags = 4;
    bool help = false;
};

struct Command {
    const char* help;
    // Whether the input is bytes (which --hex turns into text) rather than JSON.
    std::function<bool(const Options&)> binaryInput;
    // Reads no more of `input` than it decodes.
    std::function<void(const Options&, std::streambuf& input, std::ostream& out)> run;
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
    std::istringstream in{std::string(bytes)};
    return !bytes.empty() && unflattenQuietly(in, message, reason);
}

void writeBinary(const Options& o, const std::string& bytes, std::ostream& out) {
    if (o.hex)
        out << vnu::HexEncode(bytes) << '\n';
    else
        out << bytes;
}

void keystreamCommand(const Options&, std::streambuf& input, std::ostream& out) {
    bool more = false;
    const std::string bytes = readRootRecord(input, &more);
    {
        // The plug-in's own reader judges the header, so its error texts are the ones shown.
        std::istringstream in(bytes);
        UKeyInStream reader(in);
    }
    dumpKeyStream(bytes, out, [](std::string_view bytes, std::ostream& os, int indent) {
        umessage message;
        if (!tryUnflatten(bytes, message)) return false;
        std::istringstream lines(messageToJson(message).dump(2));
        for (std::string line; std::getline(lines, line);)
            os << std::string(static_cast<size_t>(indent) * 2, ' ') << line << '\n';
        return true;
    });
    // Counting what follows would mean reading it all, and an endless input never ends.
    if (more)
        throw std::runtime_error("key stream: offset " + std::to_string(bytes.size()) +
                                 ": the input goes on after the root record");
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

void messageCommand(const Options& o, std::streambuf& input, std::ostream& out) {
    if (o.encode) {
        std::ostringstream bytes;
        messageFromJson(parseJson(input)).flatten(bytes, o.version);
        writeBinary(o, bytes.str(), out);
        return;
    }
    umessage message;
    std::string reason;
    // The reader takes the bytes as they come and stops at the first one it refuses.
    std::istream in(&input);
    if (!unflattenQuietly(in, message, reason))
        throw std::runtime_error("not a flattened message" +
                                 (reason.empty() ? std::string() : ": " + reason));
    out << messageToJson(message).dump(2, ' ', false, json::error_handler_t::replace) << '\n';
}

void jobCommand(const Options& o, std::streambuf& input, std::ostream& out) {
    out << jobToJson(readRootRecord(input), o.flags).dump(2, ' ', false, json::error_handler_t::replace)
        << '\n';
}

void encodeCommand(const Options& o, std::streambuf& input, std::ostream& out) {
    writeBinary(o, jobFromJson(parseJson(input), o.flags), out);
}

std::string number(double v) {
    std::ostringstream s;
    s << v;
    return s.str();
}

void checksCommand(const Options&, std::streambuf& input, std::ostream& out) {
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
                << (setting->GetValueNULL(i) ? std::string("-") : number(setting->GetValue(i)));
        out << " strings=";
        for (int i = 0; i < BCheckSetting::kValueCount; ++i)
            out << (i ? "," : "")
                << (setting->GetStringParamNULL(i) ? std::string("-")
                                                   : json(setting->GetStringParam(i).str()).dump());
        out << " precision=" << setting->GetPrecision()
            << " userUnits=" << (setting->GetUseUserUnits() ? "mm" : "no") << '\n';
    }
    out << "default PDF version: " << number(list.GetDefaultPDFVersion()) << '\n';
}

const std::map<std::string, Command>& commands() {
    static const std::map<std::string, Command> table = {
        {"keystream",
         {"usage: varnel-inspect keystream [--hex] [FILE]\n"
          "Shows any key stream as an indented tree: key (two characters when printable, else\n"
          "its number), type name and code, data length and the value decoded by type. Records\n"
          "and arrays nest; fields holding a flattened message are shown decoded as JSON; other\n"
          "long data as hexadecimal.\n",
          alwaysBinary, keystreamCommand}},
        {"job",
         {"usage: varnel-inspect job [--flags N] [--hex] [FILE]\n"
          "Reads a job file with the stream flags N (2 document copy, 4 request or reply; default\n"
          "4) and shows it as JSON: every field of the job, its groups and destinations, page\n"
          "ranges, exported destinations, boxes, and the ticket ('SR') and problem descriptions\n"
          "('Dp') as message JSON. 'encode' takes the same shape.\n",
          alwaysBinary, jobCommand}},
        {"encode",
         {"usage: varnel-inspect encode [--flags N] [--hex] [FILE]\n"
          "Writes the job file described by JSON of the shape 'job' shows, with the stream flags N\n"
          "(default 4), as the companion application sends it: 'Dp', the job, 'SR', 'BP'. A job\n"
          "without an identifier gets a fresh one.\n",
          neverBinary, encodeCommand}},
        {"checks",
         {"usage: varnel-inspect checks [--hex] [FILE]\n"
          "Reads a job file as a reply and lists the check settings decoded from it, one line per\n"
          "setting: name, type, severity, the note, warn, fault and ignore values ('-' when not\n"
          "set), the string parameters, the precision and whether lengths are in user units\n"
          "(millimetres); then the default PDF version.\n",
          alwaysBinary, checksCommand}},
        {"message",
         {"usage: varnel-inspect message [--hex] [FILE]\n"
          "       varnel-inspect message --encode [--version V] [--hex] [FILE]\n"
          "Decodes a flattened typed message to JSON, or with --encode writes the flattened form\n"
          "(version V, 1 to 4, default 4) of a JSON message. Each entry is an object naming its\n"
          "type: {\"n\": {\"int\": 5}, \"list\": {\"double\": [1.5, 2]}, \"sub\": {\"message\": {...}}};\n"
          "types are int, long long, bool, double, string and message.\n",
          binaryUnlessEncoding, messageCommand}},
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

Options parse(const std::vector<std::string>& args) {
    Options o;
    bool haveFile = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw UsageError(a + " needs a value");
            return args[++i];
        };
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--hex") {
            o.hex = true;
        } else if (a == "--encode") {
            o.encode = true;
        } else if (a == "--version") {
            o.version = parseInt(a, value());
        } else if (a == "--flags") {
            o.flags = parseInt(a, value());
        } else if (a.size() > 1 && a[0] == '-') {
            throw UsageError("unknown option " + a);
        } else if (o.command.empty()) {
            o.command = a;
        } else if (!haveFile) {
            o.file = a;
            haveFile = true;
        } else {
            throw UsageError("more than one input file");
        }
    }
    return o;
}

}  // namespace

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
    Options o;
    try {
        o = parse(args);
    } catch (const UsageError& e) {
        err << "varnel-inspect: " << e.what() << '\n' << kUsage;
        return 2;
    }
    if (o.command.empty() || o.command == "help") {
        (o.help || o.command == "help" ? out : err) << kUsage;
        return o.help || o.command == "help" ? 0 : 2;
    }
    const auto found = commands().find(o.command);
    if (found == commands().end()) {
        err << "varnel-inspect: unknown command \"" << o.command << "\"\n" << kUsage;
        return 2;
    }
    const Command& command = found->second;
    if (o.help) {
        out << command.help;
        return 0;
    }
    if (o.version < 1 || o.version > 4) {
        err << "varnel-inspect: --version must be 1 to 4\n";
        return 2;
    }
    const std::string name = o.file == "-" ? "stdin" : o.file;
    // What the plug-in's code logs while reading is shown after a successful run; a failed run
    // prints only its one error line.
    std::ostringstream log;
    std::ostream* const logStream = vnu::logger.stream();
    vnu::logger.setStream(&log);
    struct RestoreLog {
        std::ostream* stream;
        ~RestoreLog() { vnu::logger.setStream(stream); }
    } restore{logStream};
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
        if (o.hex && command.binaryInput(o)) {
            hex = std::make_unique<HexInput>(*input);
            input = hex.get();
        }
        std::ostringstream result;
        command.run(o, *input, result);
        if (const std::string why = problem(); !why.empty()) throw std::runtime_error(why);
        out << result.str();
        out.flush();
        err << log.str();
        return 0;
    } catch (const std::exception& e) {
        const std::string why = problem();
        err << "varnel-inspect: " << name << ": " << (why.empty() ? e.what() : why) << '\n';
        return 1;
    }
}

}  // namespace inspect
