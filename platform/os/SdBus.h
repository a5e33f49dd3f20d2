// Owning handles for sd-bus objects and file descriptors, and the bus calls the library repeats.
#pragma once

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <memory>
#include <string>

namespace vnplatform {

struct MessageUnref {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using MessagePtr = std::unique_ptr<sd_bus_message, MessageUnref>;

struct SlotUnref {
    void operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }
};
using SlotPtr = std::unique_ptr<sd_bus_slot, SlotUnref>;

struct BusClose {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using BusPtr = std::unique_ptr<sd_bus, BusClose>;

class BusError {
public:
    BusError() = default;
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;
    ~BusError() { sd_bus_error_free(&error_); }
    sd_bus_error* get() { return &error_; }
    bool has(const char* name) const { return sd_bus_error_has_name(&error_, name); }

private:
    sd_bus_error error_ = SD_BUS_ERROR_NULL;
};

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// A method call to a process's own name that never starts a service for it.
MessagePtr NewProcessCall(sd_bus* bus, const std::string& destination, const char* path,
                          const char* interface, const char* member);
// The unique connection name that owns `name`; false when none does.
bool NameOwner(sd_bus* bus, const std::string& name, std::string* owner);

}  // namespace vnplatform
