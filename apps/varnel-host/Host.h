// The stand-in host: loads one plug-in, drives it with the host's messages, offers it every
// suite over the host's documents, and answers commands.
//
// One Host runs at a time in a process, on the thread that made it; every call into the
// plug-in happens on that thread. Typical use from a test:
//
//     vhost::HostOptions options;
//     options.pluginMain = PluginMain;          // or options.pluginPath = ".../VarnelPlugin.so"
//     vhost::Host host(options);                // "Startup" has been sent
//     host.execute("new 595 842");
//     host.execute("menu Adjust Size…");
//     std::string json = host.execute("show --json");
//     auto imbalances = host.shutDown();        // "Shutdown", unload; empty when all is well
#pragma once

#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "sdk/SPMessages.h"

namespace vhost {

class HostCore;

struct HostOptions {
    // The plug-in: an entry point linked into the program, else a module to dlopen; neither
    // runs the host without a plug-in.
    PluginMainProc pluginMain = nullptr;
    std::string pluginPath;
    // The folder made the process's main bundle (its Resources/<lang>.lproj hold the string
    // tables); empty sets none.
    std::string bundlePath;
    // Register as "com.corvane.VarnelHost" on the session bus named by DBUS_SESSION_BUS_ADDRESS.
    bool useBus = true;
    // Trace every message and suite call on `log`.
    bool trace = false;
    // The host's own messages, the trace and notes about the plug-in go here.
    std::ostream* log = &std::cerr;
    // Suites the host does not offer, by name ("AI Timer Suite").
    std::vector<std::string> withoutSuites;
    int majorVersion = 27;
};

// A command that could not be carried out: an unknown command, a bad argument, a failed
// operation. The message is one line for people.
class CommandError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Host {
public:
    // Loads the plug-in and sends "SP Interface"/"Startup" and the application-started
    // notifications. Throws std::runtime_error when the module cannot be loaded or an option is
    // wrong; a plug-in that refuses to start is noted on the log and unloaded.
    explicit Host(HostOptions options);
    // Shuts down if shutDown() was not called.
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // Runs one command line (see commandHelp()) and returns its answer, ending in a newline
    // (empty for blank and comment lines). Throws CommandError.
    std::string execute(const std::string& line);
    // True once "quit" ran.
    bool quitRequested() const;
    // Runs the main loop (bus events, timers) until `fd` is readable or "quit" ran.
    void waitForInput(int fd);

    // Sends the application-shutdown notifications and "Shutdown", unloads the plug-in, and
    // returns one line per suite not released as often as it was acquired. Once only.
    std::vector<std::string> shutDown();

private:
    std::unique_ptr<HostCore> core_;
};

// The commands and their arguments, as --help shows them.
const char* commandHelp();

}  // namespace vhost
