// A plug-in that tells what it receives and uses every suite, so the host is tested without the
// real plug-in: a line "test-plugin: ..." on standard error per message and outcome, "test-plugin:
// FAIL ..." for a check that does not hold. VHTEST_LEAK=1: it keeps the Art suite once at shut-down,
// an imbalance for the host to report.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "AISuites.h"
#include "Bundles.h"
#include "SPMessages.h"

namespace {

const SPBasicSuite* sBasic;

// The suites held from start-up to shut-down: each name N as the suite kNSuite of version
// kNSuiteVersion in the pointer given beside it.
// clang-format off
#define HELD_SUITES(X)                                                                                     \
    X(SPAccess, sAccess) X(SPPlugins, sPlugins) X(SPBlocks, sBlocks) X(AINotifier, sNotifier)              \
    X(AIAppContext, sContext) X(AIUser, sUser) X(AIFolders, sFolders) X(AITimer, sTimer) X(AIMenu, sMenu)  \
    X(AIUnicodeString, sUnicode) X(AIFilePath, sPath) X(AIDocument, sDocument) X(AIDocumentList, sDocList) \
    X(AIDictionary, sDict) X(AIOverrideColorConversion, sColor) X(AIActionManager, sAction)                \
    X(AIMdMemory, sMemory) X(AIMatchingArt, sMatching) X(AIArt, sArt) X(AIPath, sPathArt)                  \
    X(AIArtboard, sArtboard)
// clang-format on
#define DECLARE(name, pointer) const name##Suite* pointer;
HELD_SUITES(DECLARE)

struct Held {
    const char* name;
    int32_t version;
    const void** slot;
};
#define HELD(name, pointer) {k##name##Suite, k##name##SuiteVersion, reinterpret_cast<const void**>(&pointer)},
const Held kHeld[] = {HELD_SUITES(HELD)};

struct Globals {
    uint32_t magic = 0x54455354;  // 'TEST': still ours after the module came back
};

// Module state: fresh after every load, unlike the globals the host keeps for us.
bool sFresh = true;
bool sHolding = false;
AIMenuItemHandle sMakeGuide, sMoveArtboard, sExercise, sExport;
AITimerHandle sTimerHandle;

void say(const std::string& text) {
    std::fprintf(stderr, "test-plugin: %s\n", text.c_str());
}

std::string code(AIErr err) {
    char c[4] = {char(err >> 24), char(err >> 16), char(err >> 8), char(err)};
    bool printable = err != 0;
    for (char x : c) printable = printable && x >= 0x20 && x < 0x7F;
    return printable ? "'" + std::string(c, 4) + "'" : std::to_string(err);
}

void expect(const char* what, AIErr got, AIErr wanted = kNoErr) {
    if (got != wanted) say(std::string("FAIL ") + what + ": " + code(got) + ", expected " + code(wanted));
}

// All or nothing: on a failure the suites acquired so far go back and the error is returned.
AIErr holdSuites() {
    for (const Held& h : kHeld) {
        if (const AIErr err = sBasic->AcquireSuite(h.name, h.version, h.slot); err != kNoErr) {
            for (const Held* back = kHeld; back != &h; ++back)
                sBasic->ReleaseSuite(back->name, back->version);
            say(std::string("cannot acquire ") + h.name + ": " + code(err));
            return err;
        }
    }
    sHolding = true;
    return kNoErr;
}

void releaseSuites(bool leak) {
    for (const Held& h : kHeld) {
        if (!(leak && h.slot == reinterpret_cast<const void**>(&sArt)))
            expect(h.name, sBasic->ReleaseSuite(h.name, h.version));
    }
    sHolding = false;
}

AIMenuItemHandle addItem(SPPluginRef self, const char* group, const char16_t* title,
                         AIMenuItemOption options) {
    AIUnicodeStringRef text = nullptr;
    expect("Initialize", sUnicode->Initialize(&text, reinterpret_cast<const ASUnicode*>(title),
                                              std::char_traits<char16_t>::length(title)));
    AIMenuItemHandle item = nullptr;
    expect("AddMenuItemZString", sMenu->AddMenuItemZString(self, "Test Group", group, text, options, &item));
    sUnicode->Destroy(text);
    return item;
}

AIErr startup(SPMessageData& d) {
    if (const AIErr err = holdSuites(); err != kNoErr) return err;
    const void* missing = nullptr;
    say("missing suite: " + code(sBasic->AcquireSuite("AI Nonexistent Suite", 1, &missing)) +
        ", other version: " + code(sBasic->AcquireSuite(kAIArtSuite, 1, &missing)));
    say("main bundle: " + VNMainBundlePath());
    expect("SetPluginName", sPlugins->SetPluginName(d.self, "Test Plugin"));
    AINotifierHandle notifier;
    expect("AddNotifier",
           sNotifier->AddNotifier(d.self, "Test Started", kAIApplicationStartedNotifier, &notifier));
    expect("AddNotifier",
           sNotifier->AddNotifier(d.self, "Test Shutdown", kAIApplicationShutdownNotifier, &notifier));
    expect("AddTimer", sTimer->AddTimer(d.self, "TestTimer", 6, &sTimerHandle));
    expect("SetTimerActive", sTimer->SetTimerActive(sTimerHandle, true));
    addItem(d.self, "Place Document", u"", kMenuItemIsSeparator);
    AIMenuItemHandle parent = addItem(d.self, "Place Document", u"Test", 0);
    AIMenuGroup group;
    expect("AddMenuGroupAsSubMenu", sMenu->AddMenuGroupAsSubMenu("Test Group", 0, parent, &group));
    sMakeGuide = addItem(d.self, "Test Group", u"Make Guide…", kMenuItemWantsUpdateOption);
    sMoveArtboard = addItem(d.self, "Test Group", u"Move Artboard", 0);
    sExercise = addItem(d.self, "Test Group", u"Exercise", 0);
    sExport = addItem(d.self, "Test Group", u"Export PDF", 0);
    expect("SetItemCmd", sMenu->SetItemCmd(sExercise, 'E', 4));
    say("no menu in an unknown group: " +
        code(sMenu->AddMenuItemZString(d.self, "x", "No Such Group", nullptr, 0, &parent)));
    sFresh = false;
    return kNoErr;
}

void makeGuide() {
    AIArtHandle art = nullptr;
    expect("NewArt", sArt->NewArt(kPathArt, kPlaceAboveAll, nullptr, &art));
    AIPathSegment segments[4];
    const double corners[4][2] = {{10, 20}, {110, 20}, {110, 70}, {10, 70}};
    for (int i = 0; i < 4; ++i)
        segments[i].p = segments[i].in = segments[i].out = {corners[i][0], corners[i][1]};
    expect("SetPathSegmentCount", sPathArt->SetPathSegmentCount(art, 4));
    expect("SetPathSegments", sPathArt->SetPathSegments(art, 0, 4, segments));
    expect("SetPathSegments beyond the end", sPathArt->SetPathSegments(art, 2, 4, segments),
           kBadParameterErr);
    expect("SetPathClosed", sPathArt->SetPathClosed(art, true));
    AIDictionaryRef dict = nullptr;
    expect("GetDictionary", sArt->GetDictionary(art, &dict));
    expect("SetBooleanEntry", sDict->SetBooleanEntry(dict, sDict->Key("test-guide"), true));
    sDict->Release(dict);
    expect("DeselectAll", sMatching->DeselectAll());
    expect("select", sArt->SetArtUserAttr(art, kArtSelected, kArtSelected));
    expect("set the guide attribute", sArt->SetArtUserAttr(art, kArtIsGuide, kArtIsGuide), kBadParameterErr);
    say("adobe_makeGuide: " + code(sAction->PlayActionEvent("adobe_makeGuide", kDialogNone, nullptr)));
    expect("lock", sArt->SetArtUserAttr(art, kArtLocked, kArtLocked));
    expect("dispose locked art", sArt->DisposeArt(art), kBadArtErr);

    AIActionParamValueRef block = nullptr;
    expect("AINewActionParamValue", sAction->AINewActionParamValue(&block));
    sAction->AIActionSetInteger(block, AI_FOUR_CHAR("optn"), 7);
    sAction->AIActionSetString(block, AI_FOUR_CHAR("opnm"), "Custom");
    sAction->AIActionSetEnumerated(block, AI_FOUR_CHAR("comp"), "Compatibility", 20);
    sAction->AIActionSetReal(block, AI_FOUR_CHAR("post"), 6.5);
    sAction->AIActionSetBoolean(block, AI_FOUR_CHAR("rdtr"), true);
    sAction->AIActionSetInteger(block, AI_FOUR_CHAR("optn"), 0);  // replaces 7 where it stands
    say("test_unknownAction: " + code(sAction->PlayActionEvent("test_unknownAction", kDialogNone, block)));
    expect("AIDeleteActionParamValue", sAction->AIDeleteActionParamValue(block));
}

void moveArtboard() {
    AIArtboardListRef boards = nullptr;
    AIArtboardPropertiesRef props = nullptr;
    AIRealRect r;
    expect("GetArtboardList", sArtboard->GetArtboardList(&boards));
    expect("GetArtboardProperties", sArtboard->GetArtboardProperties(boards, 0, &props));
    expect("GetArtboardProperties 1", sArtboard->GetArtboardProperties(boards, 1, &props), kBadParameterErr);
    expect("GetPosition", sArtboard->GetPosition(props, &r));
    AIRealRect upsideDown = r;
    std::swap(upsideDown.top, upsideDown.bottom);
    expect("SetPosition upside down", sArtboard->SetPosition(props, upsideDown), kBadParameterErr);
    r = {r.left - 8.5, r.top + 8.5, r.right + 8.5, r.bottom - 8.5};
    expect("SetPosition", sArtboard->SetPosition(props, r));
    expect("Update", sArtboard->Update(boards, 0, props));
    expect("DisposeArtboardProperties", sArtboard->DisposeArtboardProperties(props));
    expect("ReleaseArtboardList", sArtboard->ReleaseArtboardList(boards));
}

// Saves the document as the PDF named by VHTEST_PDF, which becomes its file.
void exportPdf() {
    AIActionParamValueRef block = nullptr;
    expect("AINewActionParamValue", sAction->AINewActionParamValue(&block));
    const char* target = std::getenv("VHTEST_PDF");
    sAction->AIActionSetInteger(block, AI_FOUR_CHAR("cres"), 300);  // one the writer does not act on
    sAction->AIActionSetString(block, AI_FOUR_CHAR("name"), target != nullptr ? target : "");
    say("adobe_saveDocumentAs: " +
        code(sAction->PlayActionEvent("adobe_saveDocumentAs", kDialogNone, block)));
    sAction->AIDeleteActionParamValue(block);
}

// The suites not used above, each call with the outcome the host promises, refusals above all; the
// plug-in's own tests go through the calls it makes on every message and the plain successes.
void exercise() {
    AIDictionaryRef dict = nullptr;
    expect("document GetDictionary", sDocument->GetDictionary(&dict));
    const AIDictKey key = sDict->Key("test-data");
    expect("SetBinaryEntry", sDict->SetBinaryEntry(dict, key, "\x01\x02\x03", 3));
    size_t size = 0;
    char buffer[3];
    expect("GetBinaryEntry size", sDict->GetBinaryEntry(dict, key, nullptr, &size));
    size = 2;
    expect("GetBinaryEntry small buffer", sDict->GetBinaryEntry(dict, key, buffer, &size), kBadParameterErr);
    size = 3;
    expect("GetBinaryEntry", sDict->GetBinaryEntry(dict, key, buffer, &size));
    if (size != 3 || std::memcmp(buffer, "\x01\x02\x03", 3) != 0) say("FAIL binary entry read back");
    AIBoolean flag;
    expect("GetBooleanEntry of binary", sDict->GetBooleanEntry(dict, key, &flag), kWrongEntryTypeErr);
    expect("GetBinaryEntry missing", sDict->GetBinaryEntry(dict, sDict->Key("absent"), nullptr, &size),
           kNoSuchKeyErr);
    expect("SetBooleanEntry", sDict->SetBooleanEntry(dict, sDict->Key("test-flag"), true));
    expect("Release", sDict->Release(dict));
    expect("Release twice", sDict->Release(dict), kBadParameterErr);

    unsigned char icc[128] = {0, 0, 0, 128};
    std::memcpy(icc + 36, "acsp", 4);
    AIColorProfile profile = nullptr;
    expect("CreateProfileFromBuffer", sColor->CreateProfileFromBuffer(icc, sizeof icc, &profile));
    icc[36] = 'x';
    AIColorProfile bad = nullptr;
    expect("CreateProfileFromBuffer signature", sColor->CreateProfileFromBuffer(icc, sizeof icc, &bad),
           kBadProfileErr);
    expect("SetDocumentProfiles", sDocument->SetDocumentProfiles(nullptr, profile, nullptr));

    AIFilePathRef path = nullptr;
    const char* name = nullptr;
    expect("NewFilePath", sPath->NewFilePath("/jobs/report.v2.json", &path));
    expect("GetFileNameNoExt", sPath->GetFileNameNoExt(path, &name));
    if (name == nullptr || std::strcmp(name, "report.v2") != 0) say("FAIL GetFileNameNoExt");
    expect("GetDocumentFilePath", sDocument->GetDocumentFilePath(path), kCantOpenFileErr);
    expect("SetDocumentModified", sDocument->SetDocumentModified(true));
    expect("DeleteFilePath", sPath->DeleteFilePath(path));

    AINewDocumentPreset preset;
    preset.docWidth = 200;
    preset.docHeight = 100;
    preset.docColorMode = 1;
    AIDocumentHandle doc = nullptr;
    expect("New", sDocList->New(nullptr, &preset, kDialogNone, &doc));
    expect("Save without a file", sDocList->Save(doc), kCantOpenFileErr);
    expect("Close", sDocList->Close(doc));
}

}  // namespace

extern "C" __attribute__((visibility("default"))) SPErr PluginMain(char* caller, char* selector,
                                                                   void* message) {
    auto& d = *static_cast<SPMessageData*>(message);
    sBasic = d.basic;
    const std::string from = std::string(caller) + "/" + selector;
    say("received " + from);
    if (from == "SP Interface/Startup") {
        const AIErr err = startup(d);
        if (err == kNoErr) d.globals = new Globals;
        return err;
    } else if (from == "SP Interface/Shutdown") {
        if (sHolding) releaseSuites(std::getenv("VHTEST_LEAK") != nullptr);
        delete static_cast<Globals*>(d.globals);
        d.globals = nullptr;
    } else if (from == "SP Access/Unload") {
        releaseSuites(false);
    } else if (from == "SP Access/Reload") {
        const auto* g = static_cast<Globals*>(d.globals);
        say(std::string("reload: globals ") + (g != nullptr && g->magic == 0x54455354 ? "kept" : "lost") +
            ", module " + (sFresh ? "fresh" : "kept in memory"));
        sFresh = false;
        return holdSuites();
    } else if (!sHolding) {
        return kNoErr;  // unloaded: only "Reload" is handled
    } else if (from == "AI Menu/AI Update") {
        AIDocumentHandle doc;
        const auto item = static_cast<AIMenuMessage*>(message)->menuItem;
        if (item == sMakeGuide) {
            const bool open = sDocument->GetDocument(&doc) == kNoErr;
            open ? sMenu->EnableItem(item) : sMenu->DisableItem(item);
        }
    } else if (from == "AI Menu/AI Go") {
        const auto item = static_cast<AIMenuMessage*>(message)->menuItem;
        if (item == sMakeGuide) makeGuide();
        if (item == sMoveArtboard) moveArtboard();
        if (item == sExercise) exercise();
        if (item == sExport) exportPdf();
    } else if (from == "AI Notifier/AI Notify") {
        say(std::string("notified of ") + static_cast<AINotifierMessage*>(message)->type);
    }
    return kNoErr;
}
