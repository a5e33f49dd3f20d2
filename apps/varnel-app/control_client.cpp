#include "control_client.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "control_names.h"

namespace varnel_app {
namespace {

struct BusCloser {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};
using Bus = std::unique_ptr<sd_bus, BusCloser>;
using Message = std::unique_ptr<sd_bus_message, MessageUnref>;

[[noreturn]] void fail(const std::string& what, int r) {
    throw std::runtime_error(what + ": " + std::strerror(-r));
}

}  // namespace

std::string callControl(const char* method, const std::optional<std::string>& argument, uint64_t timeoutUsec) {
    sd_bus* opened = nullptr;
    if (const int r = sd_bus_open_user(&opened); r < 0) fail("cannot reach the session bus", r);
    const Bus bus(opened);
    sd_bus_message* made = nullptr;
    if (const int r = sd_bus_message_new_method_call(bus.get(), &made, kControlBusName, kControlObjectPath,
                                                     kControlInterface, method);
        r < 0)
        fail("cannot make the call", r);
    const Message call(made);
    // A command asks the instance that serves; it never starts one.
    sd_bus_message_set_auto_start(call.get(), 0);
    if (argument) sd_bus_message_append(call.get(), "s", argument->c_str());

    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* answered = nullptr;
    const int r = sd_bus_call(bus.get(), call.get(), timeoutUsec, &error, &answered);
    const Message reply(answered);
    if (r == -ETIMEDOUT || sd_bus_error_has_name(&error, SD_BUS_ERROR_TIMEOUT)) {
        sd_bus_error_free(&error);
        throw ControlTimeout("no answer in time");
    }
    if (r < 0) {
        const std::string message =
            sd_bus_error_has_names(&error, SD_BUS_ERROR_SERVICE_UNKNOWN, SD_BUS_ERROR_NAME_HAS_NO_OWNER)
                ? "no varnel-app is serving on this session bus (start one with 'varnel-app serve')"
            : error.message != nullptr ? error.message
                                       : std::string("call failed: ") + std::strerror(-r);
        sd_bus_error_free(&error);
        throw std::runtime_error(message);
    }
    const char* text = nullptr;
    if (const int read = sd_bus_message_read(reply.get(), "s", &text); read < 0)
        fail("unreadable answer", read);
    return text;
}

}  // namespace varnel_app
