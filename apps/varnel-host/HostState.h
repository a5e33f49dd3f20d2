// Everything the suites work on: documents, menus, timers, recorded actions and the references
// handed out to the plug-in. One host runs at a time in a process; the suites reach it through
// HostState::current(), as the plug-in reaches the host through plain function tables.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "ActionParams.h"
#include "DocumentStore.h"
#include "SuiteTable.h"
#include "Trace.h"

namespace vhost {

using Clock = std::chrono::steady_clock;

// A timer period in ticks of 1/60 s.
inline Clock::duration ticks(int32_t count) {
    return std::chrono::microseconds(int64_t(count) * 1000000 / 60);
}

struct MenuGroup {
    uint64_t id;
    std::string name;
    uint64_t parentItem;  // 0 for the host's own groups
};

struct MenuItem {
    uint64_t id;
    std::string itemName;  // the plug-in's identifying name
    std::string group;
    std::string title;  // UTF-8
    int32_t options;
    bool enabled = true;
    char cmdChar = 0;
    int16_t modifiers = 0;
    bool isSeparator() const { return (options & kMenuItemIsSeparator) != 0; }
    bool wantsUpdate() const { return (options & kMenuItemWantsUpdateOption) != 0; }
};

struct Notifier {
    uint64_t id;
    std::string name;
    std::string type;
};

struct Timer {
    uint64_t id;
    std::string name;
    int32_t period;  // ticks of 1/60 s
    bool active = false;
    Clock::time_point due;
};

struct ActionRecord {
    std::string name;
    int32_t dialog;
    std::optional<ActionParams> params;  // none when played without a block
    AIErr result;
};

// A reference to a document's or an art object's dictionary; each GetDictionary hands out one.
struct DictRef {
    uint64_t document;
    uint64_t art;  // 0 for the document's own dictionary
};

struct FilePath {
    std::string path;
    std::string nameNoExt;  // kept so the pointer handed out stays valid
};

class HostState {
public:
    HostState(std::ostream& log, bool tracing);
    ~HostState();
    HostState(const HostState&) = delete;
    HostState& operator=(const HostState&) = delete;

    static HostState& current();
    static bool exists();

    // One line of the host's own on the log: "varnel-host: <text>".
    void note(const std::string& text) const { log << "varnel-host: " << text << '\n'; }

    Document& requireDocument();             // kNoDocumentErr
    Art& requireArt(AIArtHandle art);        // kBadArtErr: not art of the current document
    Document& requireDocument(uint64_t id);  // kNoDocumentErr: closed since
    // The dictionary a reference stands for; throws when its document or art is gone.
    Dictionary& dictionary(AIDictionaryRef ref);
    // What the plug-in still holds and should have given back: "2 dictionary reference(s)", ...
    std::vector<std::string> leaks() const;

    std::ostream& log;
    Trace tracer;
    SPPluginRef pluginRef = nullptr;  // the one plug-in's reference
    std::string pluginName;
    DocumentStore docs;
    SuiteTable suites;
    int32_t majorVersion = 27;

    std::vector<MenuGroup> groups;
    std::vector<MenuItem> items;
    std::vector<Notifier> notifiers;
    std::vector<Timer> timers;
    std::vector<ActionRecord> actions;

    std::map<uint64_t, ActionParams> paramBlocks;
    std::map<uint64_t, DictRef> dictRefs;
    std::vector<std::string> dictKeys;  // a key handle is its index + 1
    std::map<uint64_t, std::u16string> strings;
    std::map<uint64_t, FilePath> paths;
    std::map<uint64_t, Profile> profiles;
    std::set<void*> blocks;
    std::set<AIMdMemoryHandle> memoryHandles;
    std::map<uint64_t, uint64_t> artboardLists;  // list -> document
    std::map<uint64_t, AIRealRect> artboardProperties;
    std::vector<uint64_t> contexts;
    std::set<uint64_t> accessRefs;
};

// Registration of each family of suites (suites/*.cpp).
void addPlatformSuites(SuiteTable& table);
void addMenuSuites(SuiteTable& table);
void addTextSuites(SuiteTable& table);
void addDocumentSuites(SuiteTable& table);
void addActionSuites(SuiteTable& table);
void addArtSuites(SuiteTable& table);

// A matching-art result list and its disposal (suites/ArtSuites.cpp).
AIArtHandleList newArtList(const std::vector<AIArtHandle>& art);
void disposeArtList(AIMdMemoryHandle handle);

// The actions a plug-in can play (suites/Actions.cpp): runs `name` on the host's documents.
AIErr playAction(HostState& host, const std::string& name, const ActionParams* params);

}  // namespace vhost
