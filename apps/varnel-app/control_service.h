// The serving side of the control interface: Select(s) -> s, Export(s) -> s, List() -> s,
// History() -> s. A method that fails answers kControlError with the reason.
#pragma once

#include <poll.h>

#include <cstdint>
#include <string>

struct sd_bus;
struct sd_bus_slot;

namespace varnel_app {

class ControlHandler {
public:
    virtual ~ControlHandler() = default;
    // Each returns the text the command prints, or throws std::runtime_error with the reason.
    virtual std::string select(const std::string& job) = 0;
    virtual std::string exportJob(const std::string& job) = 0;
    virtual std::string list() = 0;
    virtual std::string history() = 0;
};

class ControlService {
public:
    // Connects to the session bus, serves the interface for `handler` and takes the control
    // name. Throws std::runtime_error when there is no bus or another instance holds the name.
    explicit ControlService(ControlHandler& handler);
    ~ControlService();
    ControlService(const ControlService&) = delete;
    ControlService& operator=(const ControlService&) = delete;

    // What to wait for: the descriptor and events, and a deadline in microseconds from now
    // (-1: none).
    pollfd pollEntry() const;
    int64_t timeoutUsec() const;
    // Answers every pending call. Throws std::runtime_error when the connection failed.
    void process();

private:
    sd_bus* bus_ = nullptr;
    sd_bus_slot* slot_ = nullptr;
};

}  // namespace varnel_app
