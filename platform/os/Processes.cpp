// Finding, describing and activating the processes that registered.
#include "os/Processes.h"

#include <unistd.h>

#include <cstdlib>

#include "os/BusNames.h"
#include "os/PlatformState.h"

using namespace vnplatform;

namespace {

// Asked of the process itself; information about this process is answered here, as a call
// to one's own connection would wait on itself.
bool QueryInformation(pid_t pid, std::map<std::string, std::string>& info) {
    const PlatformState& state = State();
    if (!state.bus) return false;
    if (pid == ::getpid()) {
        info = {{kCFBundleIdentifierKey, state.bundleId}, {kProcessBundlePathKey, state.bundlePath}};
        return true;
    }
    MessagePtr call = NewProcessCall(state.bus.get(), ProcessBusName(pid), kProcessObjectPath,
                                     kProcessInterface, kInformationMethod);
    BusError error;
    sd_bus_message* reply = nullptr;
    if (!call || sd_bus_call(state.bus.get(), call.get(), kQueryTimeoutUsec, error.get(), &reply) < 0)
        return false;
    MessagePtr hold(reply);
    std::map<std::string, std::string> answer;
    if (sd_bus_message_enter_container(reply, 'a', "{ss}") < 0) return false;
    const char* key = nullptr;
    const char* value = nullptr;
    int r;
    while ((r = sd_bus_message_read(reply, "{ss}", &key, &value)) > 0) answer[key] = value;
    if (r < 0) return false;
    info = std::move(answer);
    return true;
}

}  // namespace

OSErr GetCurrentProcess(ProcessSerialNumber* psn) {
    if (psn == nullptr) return paramErr;
    *psn = ProcessSerialNumber{0, static_cast<uint32_t>(::getpid())};
    return noErr;
}

OSErr GetNextProcess(ProcessSerialNumber* psn) {
    if (psn == nullptr || psn->highLongOfPSN != 0) return paramErr;
    sd_bus* bus = State().bus.get();
    if (bus == nullptr) return procNotFound;
    pid_t after = 0;
    if (psn->lowLongOfPSN != kNoProcess && !TargetPid(*psn, &after)) return paramErr;
    char** names = nullptr;
    if (sd_bus_list_names(bus, &names, nullptr) < 0) return procNotFound;
    pid_t next = 0;
    for (char** name = names; *name != nullptr; ++name) {
        pid_t pid = 0;
        if (ParseProcessBusName(*name, &pid) && pid > after && (next == 0 || pid < next)) next = pid;
        std::free(*name);
    }
    std::free(names);
    if (next == 0) return procNotFound;
    *psn = ProcessSerialNumber{0, static_cast<uint32_t>(next)};
    return noErr;
}

OSErr ProcessInformationCopyDictionary(const ProcessSerialNumber* psn, uint32_t /*mask*/,
                                       std::map<std::string, std::string>& info) {
    if (psn == nullptr) return paramErr;
    pid_t pid = 0;
    try {
        return TargetPid(*psn, &pid) && QueryInformation(pid, info) ? noErr : procNotFound;
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
}

OSErr SetFrontProcess(const ProcessSerialNumber* psn) {
    if (psn == nullptr) return paramErr;
    pid_t pid = 0;
    if (!TargetPid(*psn, &pid)) return procNotFound;
    if (pid == ::getpid()) {
        ++State().activations;
        return noErr;
    }
    try {
        std::map<std::string, std::string> info;
        if (!QueryInformation(pid, info)) return procNotFound;
        sd_bus* bus = State().bus.get();
        MessagePtr call = NewProcessCall(bus, ProcessBusName(pid),
                                         ApplicationObjectPath(info[kCFBundleIdentifierKey]).c_str(),
                                         kApplicationInterface, kActivateMethod);
        BusError error;
        sd_bus_message* reply = nullptr;
        if (!call || sd_bus_message_append(call.get(), "a{sv}", 0) < 0 ||
            sd_bus_call(bus, call.get(), kQueryTimeoutUsec, error.get(), &reply) < 0)
            return procNotFound;
        sd_bus_message_unref(reply);
        return noErr;
    } catch (const std::bad_alloc&) {
        return memFullErr;
    }
}
