// A plug-in for what the real one never does to the host: it asks for a suite the host lacks and
// one in a version it lacks, checks its globals across unload and reload, and with VHTEST_LEAK=1
// keeps the Art suite at shut-down, an imbalance for the host to report. It says what it
// receives in a line "test-plugin: ..." on standard error.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "os/Bundles.h"
#include "sdk/AISuites.h"
#include "sdk/SPMessages.h"

namespace {

const SPBasicSuite* sBasic;
const void* sArt;
bool sFresh = true;  // module state: fresh after every load, unlike the globals the host keeps
bool sHolding = false;

constexpr uint32_t kMagic = 0x54455354;  // 'TEST' in the globals: still ours after the module came back

void say(const std::string& text) {
    std::fprintf(stderr, "test-plugin: %s\n", text.c_str());
}

std::string code(AIErr err) {
    return std::string{'\'', char(err >> 24), char(err >> 16), char(err >> 8), char(err), '\''};
}

AIErr hold() {
    const AIErr err = sBasic->AcquireSuite(kAIArtSuite, kAIArtSuiteVersion, &sArt);
    sHolding = err == kNoErr;
    return err;
}

void release() {
    sBasic->ReleaseSuite(kAIArtSuite, kAIArtSuiteVersion);  // a refusal shows as an imbalance
    sHolding = false;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) SPErr PluginMain(char* caller, char* selector,
                                                                   void* message) {
    auto& d = *static_cast<SPMessageData*>(message);
    sBasic = d.basic;
    const std::string from = std::string(caller) + "/" + selector;
    say("received " + from);
    if (from == "SP Interface/Startup") {
        if (const AIErr err = hold(); err != kNoErr) return err;
        const void* missing = nullptr;
        say("missing suite: " + code(sBasic->AcquireSuite("AI Nonexistent Suite", 1, &missing)) +
            ", other version: " + code(sBasic->AcquireSuite(kAIArtSuite, 1, &missing)));
        say("main bundle: " + VNMainBundlePath());
        d.globals = new uint32_t(kMagic);
        sFresh = false;
    } else if (from == "SP Interface/Shutdown") {
        if (sHolding && std::getenv("VHTEST_LEAK") == nullptr) release();
        delete static_cast<uint32_t*>(d.globals);
        d.globals = nullptr;
    } else if (from == "SP Access/Unload") {
        release();
    } else if (from == "SP Access/Reload") {
        const auto* g = static_cast<uint32_t*>(d.globals);
        say(std::string("reload: globals ") + (g != nullptr && *g == kMagic ? "kept" : "lost") + ", module " +
            (sFresh ? "fresh" : "kept in memory"));
        sFresh = false;
        return hold();
    }
    return kNoErr;
}
