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

}  // namespace

// The method handlers, with the service as their user data.
struct ControlCalls {
    static ControlHandler& handler(void* service) { return static_cast<ControlService*>(service)->handler_; }

    static int withJob(sd_bus_message* call, sd_bus_error* error,
                       const std::function<std::string(const std::string&)>& work) {
        const char* job = nullptr;
        if (const int r = sd_bus_message_read(call, "s", &job); r < 0) return r;
        return answer(call, error, [&] { return work(job); });
    }
    static int select(sd_bus_message* call, void* service, sd_bus_error* error) {
        return withJob(call, error, [&](const std::string& job) { return handler(service).select(job); });
    }
    static int exportJob(sd_bus_message* call, void* service, sd_bus_error* error) {
        return withJob(call, error,
                       [&](const std::string& job) { return handler(service).exportJob(job).text; });
    }
    static int exportAndWait(sd_bus_message* call, void* service, sd_bus_error* error) {
        const char* job = nullptr;
        if (const int r = sd_bus_message_read(call, "s", &job); r < 0) return r;
        try {
            static_cast<ControlService*>(service)->holdUntilReported(call, handler(service).exportJob(job));
            return 1;
        } catch (const std::exception& e) {
            return sd_bus_error_set(error, kControlError, e.what());
        }
    }
    static int list(sd_bus_message* call, void* service, sd_bus_error* error) {
        return answer(call, error, [&] { return handler(service).list(); });
    }
    static int history(sd_bus_message* call, void* service, sd_bus_error* error) {
        return answer(call, error, [&] { return handler(service).history(); });
    }
};

namespace {

const sd_bus_vtable kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Select", "s", "s", ControlCalls::select, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Export", "s", "s", ControlCalls::exportJob, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("ExportAndWait", "s", "s", ControlCalls::exportAndWait, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("List", "", "s", ControlCalls::list, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("History", "", "s", ControlCalls::history, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

[[noreturn]] void fail(const std::string& what, int r) {
    throw std::runtime_error(what + ": " + std::strerror(-r));
}

}  // namespace

ControlService::ControlService(ControlHandler& handler) : handler_(handler) {
    if (const int r = sd_bus_open_user(&bus_); r < 0) fail("cannot reach the session bus", r);
    if (const int r =
            sd_bus_add_object_vtable(bus_, &slot_, kControlObjectPath, kControlInterface, kVtable, this);
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
    for (const Waiting& waiting : waiting_) answer(waiting, nullptr);
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

void ControlService::holdUntilReported(sd_bus_message* call, ExportAsked asked) {
    if (waiting_.size() == kMostWaiting) {
        answer(waiting_.front(), nullptr);
        waiting_.pop_front();
    }
    waiting_.push_back({std::move(asked.identifier), std::move(asked.text), sd_bus_message_ref(call)});
}

void ControlService::exportReported(const std::string& identifier, const std::string& line) {
    for (auto it = waiting_.begin(); it != waiting_.end();) {
        if (it->identifier != identifier) {
            ++it;
            continue;
        }
        answer(*it, &line);
        it = waiting_.erase(it);
    }
}

// A caller that has gone away makes the reply fail; nothing is left to tell.
void ControlService::answer(const Waiting& waiting, const std::string* line) {
    if (line != nullptr)
        sd_bus_reply_method_return(waiting.call, "s", (waiting.asked + *line + "\n").c_str());
    else
        sd_bus_reply_method_errorf(waiting.call, kControlError,
                                   "the export of %s was not reported before this instance stopped waiting",
                                   waiting.identifier.c_str());
    sd_bus_message_unref(waiting.call);
}

}  // namespace varnel_app
