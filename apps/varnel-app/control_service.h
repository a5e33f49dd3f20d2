// The serving side of the control interface: Select(s) -> s, Export(s) -> s, ExportAndWait(s) -> s,
// List() -> s, History() -> s. A method that fails answers kControlError with the reason.
// ExportAndWait answers once the plug-in reports the export; a caller that gives up first simply
// stops listening.
#pragma once

#include <poll.h>

#include <cstdint>
#include <deque>
#include <string>

struct sd_bus;
struct sd_bus_slot;
struct sd_bus_message;

namespace varnel_app {

// An export asked of the plug-in: the line the command prints, and the job whose report answers it.
struct ExportAsked {
    std::string text;
    std::string identifier;
};

class ControlHandler {
public:
    virtual ~ControlHandler() = default;
    // Each returns the text the command prints, or throws std::runtime_error with the reason.
    virtual std::string select(const std::string& job) = 0;
    virtual ExportAsked exportJob(const std::string& job) = 0;
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
    // Answers pending calls; a lost connection is made again with backoff, not thrown.
    void process();
    // Answers the ExportAndWait calls waiting for the job `identifier` with `line`.
    void exportReported(const std::string& identifier, const std::string& line);

private:
    friend struct ControlCalls;
    struct Waiting {
        std::string identifier;
        std::string asked;  // what Export would have answered
        sd_bus_message* call;
    };
    // Calls whose caller went away are never answered; the oldest give way beyond this many.
    static constexpr size_t kMostWaiting = 64;

    int open();  // a negative errno when the connection or the name could not be had
    void close();
    void holdUntilReported(sd_bus_message* call, ExportAsked asked);
    void answer(const Waiting& waiting, const std::string* line);

    ControlHandler& handler_;
    sd_bus* bus_ = nullptr;
    sd_bus_slot* slot_ = nullptr;
    std::deque<Waiting> waiting_;
    // While the connection is down: when to try again, and the wait after that.
    uint64_t reconnectAtUsec_ = 0;
    uint64_t backoffUsec_ = 0;
};

}  // namespace varnel_app
