// The command language: each command answers in a few lines for people, stable for scripts.
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <map>

#include "CommandLine.h"
#include "HostError.h"
#include "HostImpl.h"
#include "Report.h"
#include "hexcodec.h"

namespace vhost {

const char* commandHelp() {
    return "Commands (one per line; '#' starts a comment; \"quotes\" keep blanks together):\n"
           "  new [W H]               make a document of W x H points (default 595 x 842)\n"
           "  open FILE               open a document saved as JSON, or a PDF the host wrote\n"
           "  save [FILE]             save the current document to its file, or as JSON to FILE\n"
           "  close                   close the current document (unsaved changes are dropped)\n"
           "  docs                    list the open documents; '*' marks the current one\n"
           "  menus                   send \"AI Update\" to the items that want it, then list every\n"
           "                          item with its enabled state and keyboard equivalent\n"
           "  menu TITLE              choose the item with that title (\"AI Go\"); a final '…' may\n"
           "                          be typed as '...' or left out\n"
           "  tick [N]                send N timer messages (default 1) to every active timer now\n"
           "  run SECONDS             run the main loop: bus events and timers at their periods\n"
           "  wait docs N [SECONDS]   run the loop until N documents are open (default 10 s)\n"
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

using Args = std::vector<std::string>;

[[noreturn]] void usage(const std::string& command, const std::string& problem, const char* form) {
    throw CommandError(command + ": " + problem + " (usage: " + form + ")");
}

void requireCount(const CommandLine& c, size_t min, size_t max, const char* form) {
    if (c.args.size() < min) usage(c.name, "missing argument", form);
    if (c.args.size() > max) usage(c.name, "too many arguments", form);
}

double number(const CommandLine& c, const std::string& text, const char* what, double min, double max,
              const char* form) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || value < min || value > max) {
        usage(c.name, std::string(what) + " must be a number from " + numberText(min) + " to " + numberText(max) +
                          ", not \"" + text + "\"",
              form);
    }
    return value;
}

long whole(const CommandLine& c, const std::string& text, const char* what, long min, long max, const char* form) {
    const double value = number(c, text, what, double(min), double(max), form);
    if (value != std::floor(value)) usage(c.name, std::string(what) + " must be a whole number, not \"" + text + "\"", form);
    return long(value);
}

std::string plural(long n, const char* word) { return std::to_string(n) + " " + word + (n == 1 ? "" : "s"); }

// "Adjust Size..." and "Adjust Size" find "Adjust Size…": scripts need not type the ellipsis.
std::string withoutEllipsis(std::string text) {
    for (size_t at; (at = text.find("\xE2\x80\xA6")) != std::string::npos;) text.replace(at, 3, "...");
    if (text.size() >= 3 && text.compare(text.size() - 3, 3, "...") == 0) text.resize(text.size() - 3);
    return text;
}

}  // namespace

std::string Host::Impl::execute(const std::string& line) {
    const CommandLine c = parseCommand(line);
    if (c.name.empty()) return std::string();
    const Args& a = c.args;
    const auto currentDocument = [&]() -> Document& {
        Document* doc = state.docs.current();
        if (doc == nullptr) throw CommandError(c.name + ": no document is open");
        return *doc;
    };
    const auto requirePlugin = [&] {
        if (!link || !started) throw CommandError(c.name + ": no plug-in is running");
        if (!reachable()) throw CommandError(c.name + ": the plug-in is unloaded (reload it first)");
    };
    const auto hostCall = [&](const auto& body) {
        try {
            return body();
        } catch (const HostError& e) {
            throw CommandError(c.name + ": " + e.what());
        }
    };

    if (c.name == "help") {
        requireCount(c, 0, 0, "help");
        return commandHelp();
    }
    if (c.name == "new") {
        constexpr const char* form = "new [W H]";
        if (a.size() == 1) usage(c.name, "give both width and height", form);
        requireCount(c, 0, 2, form);
        const double w = a.empty() ? 595 : number(c, a[0], "W", 1e-3, 1e6, form);
        const double h = a.empty() ? 842 : number(c, a[1], "H", 1e-3, 1e6, form);
        const Document& doc = hostCall([&]() -> Document& { return state.docs.create(w, h, kColorModelCMYK); });
        return "new document \"" + doc.title() + "\", " + numberText(w) + " x " + numberText(h) + " pt\n";
    }
    if (c.name == "open") {
        requireCount(c, 1, 1, "open FILE");
        const Document& doc = hostCall([&]() -> Document& { return state.docs.open(a[0], false); });
        return "opened \"" + doc.title() + "\" from " + doc.file + "\n";
    }
    if (c.name == "save") {
        requireCount(c, 0, 1, "save [FILE]");
        Document& doc = currentDocument();
        hostCall([&] { state.docs.save(doc, a.empty() ? std::string() : a[0]); });
        return "saved \"" + doc.title() + "\" to " + doc.file + (doc.pdfOptions ? " (PDF)" : "") + "\n";
    }
    if (c.name == "close") {
        requireCount(c, 0, 0, "close");
        const Document& doc = currentDocument();
        const std::string answer =
            "closed \"" + doc.title() + "\"" + (doc.modified ? " without saving its changes" : "") + "\n";
        state.docs.close(doc.id);
        return answer;
    }
    if (c.name == "docs") {
        requireCount(c, 0, 0, "docs");
        return describeDocuments(state.docs);
    }
    if (c.name == "menus") {
        requireCount(c, 0, 0, "menus");
        const std::vector<MenuItem> items = state.items;
        for (const MenuItem& item : items) {
            if (item.wantsUpdate() && reachable()) sendMenu(kSelectorAIUpdateMenuItem, item);
        }
        return describeMenus(state);
    }
    if (c.name == "menu") {
        if (a.empty()) usage(c.name, "missing argument", "menu TITLE");
        const std::string title = a.size() == 1 ? a[0] : c.rest;
        const MenuItem* found = nullptr;
        for (const auto& same : {+[](const std::string& s) { return s; }, +[](const std::string& s) { return withoutEllipsis(s); }}) {
            for (const MenuItem& item : state.items) {
                if (found == nullptr && !item.isSeparator() && same(item.title) == same(title)) found = &item;
            }
        }
        if (found == nullptr) throw CommandError("menu: no menu item titled \"" + title + "\"");
        const MenuItem item = *found;
        requirePlugin();
        if (item.wantsUpdate()) sendMenu(kSelectorAIUpdateMenuItem, item);
        for (const MenuItem& now : state.items) {
            if (now.id == item.id && !now.enabled) throw CommandError("menu: \"" + item.title + "\" is disabled");
        }
        const SPErr result = sendMenu(kSelectorAIGoMenuItem, item);
        return "chose \"" + item.title + "\" (result " + resultText(result) + ")\n";
    }
    if (c.name == "tick") {
        requireCount(c, 0, 1, "tick [N]");
        const long n = a.empty() ? 1 : whole(c, a[0], "N", 1, 100000, "tick [N]");
        requirePlugin();
        const int before = timerMessages;
        for (long i = 0; i < n; ++i) {
            std::vector<uint64_t> active;
            for (const Timer& t : state.timers) {
                if (t.active) active.push_back(t.id);
            }
            for (const uint64_t id : active) {
                if (reachable()) sendTimer(id);
            }
        }
        return "sent " + plural(timerMessages - before, "timer message") + "\n";
    }
    if (c.name == "run") {
        requireCount(c, 1, 1, "run SECONDS");
        const double seconds = number(c, a[0], "SECONDS", 0, 86400, "run SECONDS");
        const int timersBefore = timerMessages, eventsBefore = eventsHandled;
        loop(Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)),
             [] { return false; });
        return "ran " + numberText(seconds) + " s: " + plural(timerMessages - timersBefore, "timer message") + ", " +
               plural(eventsHandled - eventsBefore, "event") + "\n";
    }
    if (c.name == "wait") {
        constexpr const char* form = "wait docs N [SECONDS] | wait file PATH [SECONDS]";
        requireCount(c, 2, 3, form);
        const double seconds = a.size() == 3 ? number(c, a[2], "SECONDS", 0, 86400, form) : 10;
        const auto deadline =
            Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
        if (a[0] == "docs") {
            const size_t n = size_t(whole(c, a[1], "N", 0, 100000, form));
            if (loop(deadline, [&] { return state.docs.all().size() == n; }) != Wake::Done) {
                throw CommandError("wait: " + plural(long(n), "document") + " not open after " + numberText(seconds) +
                                   " s (" + std::to_string(state.docs.all().size()) + " open)");
            }
            return plural(long(n), "document") + " open\n";
        }
        if (a[0] == "file") {
            struct stat st {};
            const std::string& path = a[1];
            if (loop(deadline, [&] { return ::stat(path.c_str(), &st) == 0; }) != Wake::Done)
                throw CommandError("wait: " + path + " does not exist after " + numberText(seconds) + " s");
            return path + " exists\n";
        }
        usage(c.name, "wait for \"docs\" or \"file\", not \"" + a[0] + "\"", form);
    }
    if (c.name == "show" || c.name == "actions") {
        const std::string form = c.name + " [--json]";
        requireCount(c, 0, 1, form.c_str());
        if (a.size() == 1 && a[0] != "--json") usage(c.name, "unknown option \"" + a[0] + "\"", form.c_str());
        const bool json = a.size() == 1;
        if (c.name == "actions") return json ? actionsReport(state.actions).dump(2) + "\n" : describeActions(state.actions);
        const Document& doc = currentDocument();
        return json ? documentReport(doc).dump(2) + "\n" : describeDocument(doc);
    }
    if (c.name == "dict") {
        requireCount(c, 1, 1, "dict KEY");
        const Dictionary& dict = currentDocument().dictionary;
        const auto it = dict.find(a[0]);
        if (it == dict.end()) throw CommandError("dict: the document has no entry \"" + a[0] + "\"");
        if (it->second.type == DictEntry::Type::Boolean) return it->second.flag ? "true\n" : "false\n";
        return vnu::HexEncode(it->second.bytes) + "\n";
    }
    if (c.name == "version") {
        requireCount(c, 0, 1, "version [N]");
        if (a.size() == 1) state.majorVersion = int32_t(whole(c, a[0], "N", 1, 1000, "version [N]"));
        return "host version " + std::to_string(state.majorVersion) + "\n";
    }
    if (c.name == "unload") {
        requireCount(c, 0, 0, "unload");
        return unload();
    }
    if (c.name == "reload") {
        requireCount(c, 0, 0, "reload");
        return reload();
    }
    if (c.name == "quit") {
        requireCount(c, 0, 0, "quit");
        quit = true;
        return std::string();
    }
    throw CommandError("unknown command \"" + c.name + "\" (see --help)");
}

}  // namespace vhost
