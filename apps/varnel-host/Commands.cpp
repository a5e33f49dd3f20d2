// The command language: each command answers in a few lines for people, stable for scripts.
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>

#include "CommandLine.h"
#include "HostCore.h"
#include "HostError.h"
#include "PlacedArt.h"
#include "Report.h"
#include "support/hexcodec.h"

namespace vhost {

const char* commandHelp() {
    return "Commands (one per line; '#' starts a comment; \"quotes\" keep blanks together):\n"
           "  new [W H]               make a document of W x H points (default 595 x 842)\n"
           "  open FILE               open a document saved as JSON, or a PDF the host wrote\n"
           "  save [FILE]             save the current document to its file, or as JSON to FILE\n"
           "  close                   close the current document (unsaved changes are dropped)\n"
           "  place FILE              place the first page of the PDF FILE in the current document,\n"
           "                          at its own size, centred on the first artboard, above all art\n"
           "  docs                    list the open documents; '*' marks the current one\n"
           "  menus                   send \"AI Update\" to the items that want it, then list every\n"
           "                          item with its enabled state and keyboard equivalent\n"
           "  menu TITLE              choose the item with that title (\"AI Go\"); a final '…' may\n"
           "                          be typed as '...' or left out\n"
           "  tick [N]                send N timer messages (default 1) to every active timer now\n"
           "  run SECONDS             run the main loop: bus events and timers at their periods\n"
           "  wait docs N [SECONDS]   run the loop until exactly N documents are open (default 10 s)\n"
           "  wait file PATH [SECONDS] run the loop until PATH exists (default 10 s)\n"
           "  show [--json]           the current document: size, artboards, guides with their\n"
           "                          marks, other art, dictionary entries by key and size\n"
           "  dict KEY                a binary entry of the current document's dictionary as\n"
           "                          hexadecimal (a boolean entry as true or false)\n"
           "  actions [--json]        the actions the plug-in played, with their parameter blocks\n"
           "  version [N]             show or set the host's major version (default 27)\n"
           "  unload                  send \"SP Access\"/\"Unload\"; the module leaves memory unless\n"
           "                          the plug-in holds an access reference\n"
           "  reload                  load the module again and send \"SP Access\"/\"Reload\"\n"
           "  help                    this list\n"
           "  quit                    shut the plug-in down and end\n";
}

namespace {

[[noreturn]] void fail(const std::string& text) {
    throw CommandError(text);
}

std::string plural(long n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

Clock::time_point after(double seconds) {
    return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// "Adjust Size..." and "Adjust Size" find "Adjust Size…": scripts need not type the ellipsis.
std::string withoutEllipsis(std::string text) {
    for (size_t at; (at = text.find("\xE2\x80\xA6")) != std::string::npos;) text.replace(at, 3, "...");
    if (text.size() >= 3 && text.compare(text.size() - 3, 3, "...") == 0) text.resize(text.size() - 3);
    return text;
}

// One command line being carried out: its arguments, checked against the command's form.
class Command {
public:
    using Run = std::string (Command::*)();
    struct Form {
        const char* name;
        const char* usage;
        size_t minArgs;
        size_t maxArgs;
        Run run;
    };

    Command(HostCore& host, CommandLine line) : host_(host), c_(std::move(line)) {}

    std::string execute();

private:
    static const Form kForms[];

    [[noreturn]] void usage(const std::string& problem) const {
        fail(c_.name + ": " + problem + " (usage: " + form_->usage + ")");
    }
    const std::string& arg(size_t i) const { return c_.args[i]; }
    bool has(size_t i) const { return c_.args.size() > i; }

    double number(size_t i, const char* what, double min, double max) const {
        const std::string& text = arg(i);
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !std::isfinite(value) || value < min || value > max) {
            usage(std::string(what) + " must be a number from " + numberText(min) + " to " + numberText(max) +
                  ", not \"" + text + "\"");
        }
        return value;
    }
    long whole(size_t i, const char* what, long min, long max) const {
        const double value = number(i, what, double(min), double(max));
        if (value != std::floor(value))
            usage(std::string(what) + " must be a whole number, not \"" + arg(i) + "\"");
        return long(value);
    }

    Document& document() const {
        Document* doc = host_.state.docs.current();
        if (doc == nullptr) fail(c_.name + ": no document is open");
        return *doc;
    }
    void requirePlugin() const {
        if (!host_.link || !host_.started) fail(c_.name + ": no plug-in is running");
        if (!host_.reachable()) fail(c_.name + ": the plug-in is unloaded (reload it first)");
    }
    // Runs a document operation, its HostError becoming the command's error.
    template <class Body>
    auto hostCall(const Body& body) const -> decltype(body()) {
        try {
            return body();
        } catch (const HostError& e) {
            fail(c_.name + ": " + e.what());
        }
    }

    std::string help() { return commandHelp(); }

    std::string newDocument() {
        if (c_.args.size() == 1) usage("give both width and height");
        const double w = has(0) ? number(0, "W", 1e-3, 1e6) : 595;
        const double h = has(1) ? number(1, "H", 1e-3, 1e6) : 842;
        const Document& doc =
            hostCall([&]() -> Document& { return host_.state.docs.create(w, h, kColorModelCMYK); });
        return "new document \"" + doc.title() + "\", " + numberText(w) + " x " + numberText(h) + " pt\n";
    }

    std::string open() {
        const Document& doc = hostCall([&]() -> Document& { return host_.state.docs.open(arg(0), false); });
        return "opened \"" + doc.title() + "\" from " + doc.file + "\n";
    }

    std::string save() {
        Document& doc = document();
        hostCall([&] { host_.state.docs.save(doc, has(0) ? arg(0) : std::string()); });
        return "saved \"" + doc.title() + "\" to " + doc.file + (doc.pdfOptions ? " (PDF)" : "") + "\n";
    }

    std::string close() {
        const Document& doc = document();
        const std::string answer =
            "closed \"" + doc.title() + "\"" + (doc.modified ? " without saving its changes" : "") + "\n";
        host_.state.docs.close(doc.id);
        return answer;
    }

    std::string place() {
        Document& doc = document();
        const Art art = hostCall([&] { return placePdf(doc, arg(0)); });
        doc.art.push_back(art);
        doc.modified = true;
        const AIRealRect& r = art.placement->bounds;
        return "placed page 1 of " + art.placement->file + ", " + numberText(r.right - r.left) + " x " +
               numberText(r.top - r.bottom) + " pt, at x " + numberText(r.left) + ", y " +
               numberText(r.bottom) + "\n";
    }

    std::string docs() { return describeDocuments(host_.state.docs); }

    std::string menus() {
        const std::vector<MenuItem> items = host_.state.items;
        for (const MenuItem& item : items) {
            if (item.wantsUpdate() && host_.reachable()) host_.sendMenu(kSelectorAIUpdateMenuItem, item);
        }
        return describeMenus(host_.state);
    }

    std::string menu() {
        const std::string title = c_.args.size() == 1 ? arg(0) : c_.rest;
        const MenuItem* found = nullptr;
        for (const auto same : {+[](const std::string& t) { return t; },
                                +[](const std::string& t) { return withoutEllipsis(t); }}) {
            for (const MenuItem& item : host_.state.items) {
                if (found == nullptr && !item.isSeparator() && same(item.title) == same(title)) found = &item;
            }
        }
        if (found == nullptr) fail("menu: no menu item titled \"" + title + "\"");
        const MenuItem item = *found;
        requirePlugin();
        // A host asks before it offers the item, as its menu opens.
        if (item.wantsUpdate()) host_.sendMenu(kSelectorAIUpdateMenuItem, item);
        for (const MenuItem& now : host_.state.items) {
            if (now.id == item.id && !now.enabled) fail("menu: \"" + item.title + "\" is disabled");
        }
        const SPErr result = host_.sendMenu(kSelectorAIGoMenuItem, item);
        return "chose \"" + item.title + "\" (result " + resultText(result) + ")\n";
    }

    std::string tick() {
        const long n = has(0) ? whole(0, "N", 1, 100000) : 1;
        requirePlugin();
        const int before = host_.timerMessages;
        for (long i = 0; i < n; ++i) {
            std::vector<uint64_t> active;
            for (const Timer& t : host_.state.timers) {
                if (t.active) active.push_back(t.id);
            }
            for (const uint64_t id : active) {
                if (host_.reachable()) host_.sendTimer(id);
            }
        }
        return "sent " + plural(host_.timerMessages - before, "timer message") + "\n";
    }

    std::string run() {
        const double seconds = number(0, "SECONDS", 0, 86400);
        const int timers = host_.timerMessages, events = host_.eventsHandled;
        host_.loop(after(seconds), [] { return false; });
        return "ran " + numberText(seconds) + " s: " + plural(host_.timerMessages - timers, "timer message") +
               ", " + plural(host_.eventsHandled - events, "event") + "\n";
    }

    std::string wait() {
        const double seconds = has(2) ? number(2, "SECONDS", 0, 86400) : 10;
        if (arg(0) == "docs") {
            const size_t n = size_t(whole(1, "N", 0, 100000));
            const auto& docs = host_.state.docs.all();
            if (host_.loop(after(seconds), [&] { return docs.size() == n; }) != HostCore::Wake::Done) {
                fail("wait: " + plural(long(n), "document") + " not open after " + numberText(seconds) +
                     " s (" + std::to_string(docs.size()) + " open)");
            }
            return plural(long(n), "document") + " open\n";
        }
        if (arg(0) == "file") {
            const std::string& path = arg(1);
            struct stat st {};
            if (host_.loop(after(seconds), [&] { return ::stat(path.c_str(), &st) == 0; }) !=
                HostCore::Wake::Done)
                fail("wait: " + path + " does not exist after " + numberText(seconds) + " s");
            return path + " exists\n";
        }
        usage("wait for \"docs\" or \"file\", not \"" + arg(0) + "\"");
    }

    bool json() const {
        if (has(0) && arg(0) != "--json") usage("unknown option \"" + arg(0) + "\"");
        return has(0);
    }

    std::string show() {
        const bool asJson = json();
        const Document& doc = document();
        return asJson ? documentReport(doc).dump(2) + "\n" : describeDocument(doc);
    }

    std::string actions() {
        const auto& played = host_.state.actions;
        return json() ? actionsReport(played).dump(2) + "\n" : describeActions(played);
    }

    std::string dict() {
        const Dictionary& entries = document().dictionary;
        const auto it = entries.find(arg(0));
        if (it == entries.end()) fail("dict: the document has no entry \"" + arg(0) + "\"");
        if (it->second.type == DictEntry::Type::Boolean) return it->second.flag ? "true\n" : "false\n";
        return vnu::HexEncode(it->second.bytes) + "\n";
    }

    std::string version() {
        if (has(0)) host_.state.majorVersion = int32_t(whole(0, "N", 1, 1000));
        return "host version " + std::to_string(host_.state.majorVersion) + "\n";
    }

    std::string unload() { return host_.unload(); }
    std::string reload() { return host_.reload(); }

    std::string quit() {
        host_.quit = true;
        return std::string();
    }

    HostCore& host_;
    CommandLine c_;
    const Form* form_ = nullptr;
};

const Command::Form Command::kForms[] = {
    {"help", "help", 0, 0, &Command::help},
    {"new", "new [W H]", 0, 2, &Command::newDocument},
    {"open", "open FILE", 1, 1, &Command::open},
    {"save", "save [FILE]", 0, 1, &Command::save},
    {"close", "close", 0, 0, &Command::close},
    {"place", "place FILE", 1, 1, &Command::place},
    {"docs", "docs", 0, 0, &Command::docs},
    {"menus", "menus", 0, 0, &Command::menus},
    {"menu", "menu TITLE", 1, SIZE_MAX, &Command::menu},
    {"tick", "tick [N]", 0, 1, &Command::tick},
    {"run", "run SECONDS", 1, 1, &Command::run},
    {"wait", "wait docs N [SECONDS] | wait file PATH [SECONDS]", 2, 3, &Command::wait},
    {"show", "show [--json]", 0, 1, &Command::show},
    {"actions", "actions [--json]", 0, 1, &Command::actions},
    {"dict", "dict KEY", 1, 1, &Command::dict},
    {"version", "version [N]", 0, 1, &Command::version},
    {"unload", "unload", 0, 0, &Command::unload},
    {"reload", "reload", 0, 0, &Command::reload},
    {"quit", "quit", 0, 0, &Command::quit},
};

std::string Command::execute() {
    for (const Form& form : kForms) {
        if (c_.name != form.name) continue;
        form_ = &form;
        if (c_.args.size() < form.minArgs) usage("missing argument");
        if (c_.args.size() > form.maxArgs) usage("too many arguments");
        return (this->*form.run)();
    }
    fail("unknown command \"" + c_.name + "\" (see --help)");
}

}  // namespace

std::string HostCore::execute(const std::string& line) {
    CommandLine command = parseCommand(line);
    if (command.name.empty()) return std::string();
    return Command(*this, std::move(command)).execute();
}

}  // namespace vhost
