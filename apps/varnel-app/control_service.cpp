#include "control_service.h"

#include <systemd/sd-bus.h>
#include <time.h>

#include <cstring>
#include <functional>
#include <stdexcept>

#include "control_names.h"

namespace varnel_app {
namespace {

int answer(sd_bus_message* call, sd_bus_error* error, const std::function<std::string()>& work) {
    try {
        return sd_bus_reply_method_return(call, "s", work().c_str());
    } catch (const std::exception& e) {
        return sd_bus_error_set(error, kControlError, e.what());
    }
}

int withJob(sd_bus_message* call, void* handler, sd_bus_error* error,
            std::string (ControlHandler::*method)(const std::string&)) {
    const char* job = nullptr;
    if (const int r = sd_bus_message_read(call, "s", &job); r < 0) return r;
    return answer(call, error, [&] { return (static_cast<ControlHandler*>(handler)->*method)(job); });
}

int onSelect(sd_bus_message* call, void* handler, sd_bus_error* error) {
    return withJob(call, handler, error, &ControlHandler::select);
}
int onExport(sd_bus_message* call, void* handler, sd_bus_error* error) {
    return withJob(call, handler, error, &ControlHandler::exportJob);
}
int onList(sd_bus_message* call, void* handler, sd_bus_error* error) {
    return answer(call, error, [&] { return static_cast<ControlHandler*>(handler)->list(); });
}
int onHistory(sd_bus_message* call, void* handler, sd_bus_error* error) {
    return answer(call, error, [&] { return static_cast<ControlHandler*>(handler)->history(); });
}

const sd_bus_vtable kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Select", "s", "s", onSelect, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Export", "s", "s", onExport, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("List", "", "s", onList, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("History", "", "s", onHistory, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

[[noreturn]] void fail(const std::string& what, int r) {
    throw std::runtime_error(what + ": " + std::strerror(-r));
}

}  // namespace

ControlService::ControlService(ControlHandler& handler) {
    if (const int r = sd_bus_open_user(&bus_); r < 0) fail("cannot reach the session bus", r);
    if (const int r =
            sd_bus_add_object_vtable(bus_, &slot_, kControlObjectPath, kControlInterface, kVtable, &handler);
        r < 0) {
        sd_bus_flush_close_unref(bus_);
        fail("cannot serve the control interface", r);
    }
    if (const int r = sd_bus_request_name(bus_, kControlBusName, 0); r < 0) {
        sd_bus_slot_unref(slot_);
        sd_bus_flush_close_unref(bus_);
        if (r == -EEXIST)
            throw std::runtime_error("another varnel-app is already serving on this session bus");
        fail(std::string("cannot take the name ") + kControlBusName, r);
    }
}

ControlService::~ControlService() {
    sd_bus_slot_unref(slot_);
    sd_bus_flush_close_unref(bus_);
}

pollfd ControlService::pollEntry() const {
    const int events = sd_bus_get_events(bus_);
    return pollfd{sd_bus_get_fd(bus_), static_cast<short>(events > 0 ? events : 0), 0};
}

int64_t ControlService::timeoutUsec() const {
    uint64_t deadline = UINT64_MAX;
    if (sd_bus_get_timeout(bus_, &deadline) < 0 || deadline == UINT64_MAX) return -1;
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t nowUsec = uint64_t(now.tv_sec) * 1000000u + uint64_t(now.tv_nsec) / 1000u;
    return deadline > nowUsec ? int64_t(deadline - nowUsec) : 0;
}

void ControlService::process() {
    for (;;) {
        const int r = sd_bus_process(bus_, nullptr);
        if (r < 0) fail("control connection failed", r);
        if (r == 0) return;
    }
}

}  // namespace varnel_app
