#include "control_service.h"

#include <systemd/sd-bus.h>
#include <time.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "control_names.h"
#include "support/ulogger.h"

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

uint64_t nowUsec() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000000u + uint64_t(now.tv_nsec) / 1000u;
}

[[noreturn]] void fail(const std::string& what, int r) {
    throw std::runtime_error(what + ": " + std::strerror(-r));
}

}  // namespace

ControlService::ControlService(ControlHandler& handler) : handler_(handler) {
    if (const int r = open(); r < 0) {
        if (r == -EEXIST) throw std::runtime_error("another varnel-app is already serving on this session bus");
        fail("cannot serve the control interface on the session bus", r);
    }
}

ControlService::~ControlService() {
    close();
}

int ControlService::open() {
    int r = sd_bus_open_user(&bus_);
    if (r >= 0) r = sd_bus_add_object_vtable(bus_, &slot_, kControlObjectPath, kControlInterface, kVtable, this);
    if (r >= 0) r = sd_bus_request_name(bus_, kControlBusName, 0);
    if (r < 0) close();
    return r;
}

void ControlService::close() {
    if (bus_ != nullptr)
        for (const Waiting& waiting : waiting_) answer(waiting, nullptr);
    for (const Waiting& waiting : waiting_) sd_bus_message_unref(waiting.call);
    waiting_.clear();
    slot_ = sd_bus_slot_unref(slot_);
    bus_ = sd_bus_flush_close_unref(bus_);
}

pollfd ControlService::pollEntry() const {
    if (bus_ == nullptr) return pollfd{-1, 0, 0};
    const int events = sd_bus_get_events(bus_);
    return pollfd{sd_bus_get_fd(bus_), static_cast<short>(events > 0 ? events : 0), 0};
}

int64_t ControlService::timeoutUsec() const {
    uint64_t deadline = reconnectAtUsec_;
    if (bus_ != nullptr && (sd_bus_get_timeout(bus_, &deadline) < 0 || deadline == UINT64_MAX)) return -1;
    const uint64_t now = nowUsec();
    return deadline > now ? int64_t(deadline - now) : 0;
}

// A lost connection is made again, first soon, then at most once a second, and said once each way.
void ControlService::process() {
    if (bus_ == nullptr) {
        if (timeoutUsec() > 0) return;
        if (const int r = open(); r < 0) {
            backoffUsec_ = std::min<uint64_t>(backoffUsec_ * 2, 1'000'000);
            reconnectAtUsec_ = nowUsec() + backoffUsec_;
            return;
        }
        VN_LOG_INFO("the control connection is back");
    }
    // Bounded, so that commands cannot keep the loop from the plug-in's events.
    for (int i = 0; i < 64; ++i) {
        const int r = sd_bus_process(bus_, nullptr);
        if (r < 0) {
            VN_LOG_ERROR("lost the control connection (" << std::strerror(-r) << "): reconnecting");
            close();
            backoffUsec_ = 50'000;
            reconnectAtUsec_ = nowUsec() + backoffUsec_;
            return;
        }
        if (r == 0) return;
    }
}

void ControlService::holdUntilReported(sd_bus_message* call, ExportAsked asked) {
    if (waiting_.size() == kMostWaiting) {
        answer(waiting_.front(), nullptr);
        sd_bus_message_unref(waiting_.front().call);
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
        sd_bus_message_unref(it->call);
        it = waiting_.erase(it);
    }
}

// A caller that has gone away makes the reply fail; nothing is left to tell. The call stays
// referenced for the caller to let go.
void ControlService::answer(const Waiting& waiting, const std::string* line) {
    if (line != nullptr)
        sd_bus_reply_method_return(waiting.call, "s", (waiting.asked + *line + "\n").c_str());
    else
        sd_bus_reply_method_errorf(waiting.call, kControlError,
                                   "the export of %s was not reported before this instance stopped waiting",
                                   waiting.identifier.c_str());
}

}  // namespace varnel_app
