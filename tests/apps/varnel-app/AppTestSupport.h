// varnel-app as separate processes in the test program's session, and this program registered
// once in the plug-in's place: it sends requests and collects the replies.
#pragma once

#include <filesystem>
#include <optional>

#include "SessionEnvironment.h"
#include "event_channel.h"

namespace app_test {

using testing::HasSubstr;
using testing_support::Outcome;
using testing_support::PumpEventsUntil;
using testing_support::ReadFile;

struct Reply {
    AEEventID id = 0;
    std::string direct, vnmp;  // the texts under '----' and 'Vnmp'
    ProcessSerialNumber sender;
};

class AppEnvironment : public testing_support::SessionEnvironment {
public:
    AppEnvironment() : SessionEnvironment("com.corvane.VarnelAppTests") {}
    void SetUp() override {
        SessionEnvironment::SetUp();
        variables().unset("VARNEL_JOBS");
        for (AEEventID id :
             {varnel_app::kDetailsReply, varnel_app::kNewDetailsReply, varnel_app::kExportReply})
            ASSERT_EQ(AEInstallEventHandler(varnel_app::kEventClass, id, &onReply, 0, false), noErr);
    }
    // Every reply that reached this program and was not taken yet.
    static inline std::vector<Reply> replies;

private:
    static OSErr onReply(const AppleEvent* event, AppleEvent*, SRefCon) {
        Reply reply;
        AEGetEventClassAndID(event, nullptr, &reply.id);
        reply.direct = testing_support::TextParameter(event, keyDirectObject).value_or("");
        reply.vnmp = testing_support::TextParameter(event, FOUR_CHAR_CODE("Vnmp")).value_or("");
        AEGetParamPtr(event, FOUR_CHAR_CODE("Psn "), typeProcessSerialNumber, nullptr, &reply.sender,
                      sizeof reply.sender, nullptr);
        replies.push_back(reply);
        return noErr;
    }
};

// Once for the program, whichever test file includes this first.
inline const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

// The oldest reply not taken yet, once one came.
inline std::optional<Reply> takeReply() {
    auto& replies = AppEnvironment::replies;
    if (!PumpEventsUntil([&] { return !replies.empty(); })) return std::nullopt;
    const Reply reply = replies.front();
    replies.erase(replies.begin());
    return reply;
}

inline Outcome runApp(std::vector<std::string> args,
                      const std::map<std::string, std::string>& environment = {}) {
    args.insert(args.begin(), VARNEL_APP_BIN);
    return testing_support::RunProgram(args, environment);
}

// `varnel-app serve` over a copy of the example jobs, exporting to a folder of its own; stopped
// with SIGTERM at the latest when it goes out of scope.
class ServedApp {
public:
    ServedApp() {
        std::filesystem::copy(VARNEL_EXAMPLE_JOBS, jobs());
        // Replies an earlier application sent and no test took are not this one's.
        const auto settled = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
        PumpEventsUntil([&] { return std::chrono::steady_clock::now() > settled; });
        AppEnvironment::replies.clear();
        start();
    }
    // Stopped and started again on the same folders, as after a reboot.
    void restart() {
        app_.reset();
        start();
    }

    std::string jobs() const { return folder_ / "jobs"; }
    std::string data() const { return folder_ / "data"; }  // its XDG_DATA_HOME
    std::string out() const { return folder_ / "exports"; }
    std::string printed() const { return app_->out(); }
    std::string logged() const { return app_->err(); }
    pid_t pid() const { return app_->pid(); }
    ProcessSerialNumber psn() const { return {0, static_cast<uint32_t>(app_->pid())}; }
    void send(AEEventID request, std::string_view payload) const {
        ASSERT_EQ(varnel_app::postEvent(request, psn(), payload), noErr);
    }
    int stop() { return app_->stop(); }  // its exit status

private:
    void start() {
        app_.emplace(std::vector<std::string>{VARNEL_APP_BIN, "serve", "--jobs", jobs(), "--out", out()},
                     std::map<std::string, std::string>{{"XDG_DATA_HOME", data()},
                                                        {"XDG_STATE_HOME", folder_ / "state"}});
        // A command is answered only once the event channel is registered too.
        if (!PumpEventsUntil([] { return runApp({"list"}).status == 0; }))
            throw std::runtime_error("varnel-app is not serving");
    }

    testing_support::ScratchFolder folder_;
    std::optional<testing_support::Child> app_;
};

}  // namespace app_test
