// A session bus of the test's own: a dbus-daemon with our configuration in a scratch folder,
// published through DBUS_SESSION_BUS_ADDRESS while it lives. Tests never see the user's bus.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include "TestFolders.h"

namespace testing_support {

class PrivateBus {
public:
    // With `otherUsers`, processes of any user may connect, so that refusals by user can be tested.
    explicit PrivateBus(bool otherUsers = false) {
        const std::string config = folder_.write("bus.conf", configuration(otherUsers));
        int pipeFds[2];
        if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("PrivateBus: pipe failed");
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("PrivateBus: fork failed");
        if (pid_ == 0) {
            ::dup2(pipeFds[1], 3);
            const std::string configArg = "--config-file=" + config;
            ::execlp("dbus-daemon", "dbus-daemon", configArg.c_str(), "--nofork", "--nopidfile",
                     "--print-address=3", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(pipeFds[1]);
        char c;
        while (::read(pipeFds[0], &c, 1) == 1 && c != '\n') address_ += c;
        ::close(pipeFds[0]);
        if (address_.empty()) {
            stop();
            throw std::runtime_error(
                "PrivateBus: dbus-daemon did not start (is the dbus package installed?)");
        }
        if (otherUsers) {
            const std::string socket = address_.substr(10, address_.find(',') - 10);  // after "unix:path="
            ::chmod(folder_.path().c_str(), 0711);
            ::chmod(socket.c_str(), 0777);
        }
        environment_.set("DBUS_SESSION_BUS_ADDRESS", address_);
    }
    ~PrivateBus() { stop(); }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

private:
    std::string configuration(bool otherUsers) const {
        return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig>\n  <type>session</type>\n  <listen>unix:dir=" +
               folder_.path() + "</listen>\n  <policy context=\"default\">\n" +
               (otherUsers ? "    <allow user=\"*\"/>\n" : "") +
               "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
               "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n  </policy>\n</busconfig>\n";
    }
    void stop() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

    ScratchFolder folder_;
    ScopedEnvironment environment_;
    pid_t pid_ = -1;
    std::string address_;
};

}  // namespace testing_support
