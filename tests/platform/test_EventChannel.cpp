// Events and their parameters, between processes on the private bus.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "PlatformTestSupport.h"
#include "os/BusNames.h"

namespace platform_test {
namespace {

// kTestClass/`id` carrying `payload` as '----' and 'Vnmp', signed.
OSErr SendTest(ProcessSerialNumber to, AEEventID id, const std::string& payload) {
    const std::map<AEKeyword, std::string> texts{{keyDirectObject, payload},
                                                 {FOUR_CHAR_CODE("Vnmp"), payload}};
    return testing_support::TestEvent(kTestClass, id, to, texts, true).send();
}

TEST(EventChannel, ParametersStayWithinTheEventCap) {
    testing_support::TestEvent event(kTestClass, kEcho, {}, {});
    const std::string full(kAEMaxEventBytes, 'x');
    const auto put = [&](AEKeyword keyword, const std::string& bytes) {
        return AEPutParamPtr(&event.event, keyword, typeChar, bytes.data(), bytes.size());
    };
    ASSERT_EQ(put(keyDirectObject, full), noErr);
    EXPECT_EQ(put(keyDirectObject, full), noErr) << "replacing frees the bytes it replaces";
    EXPECT_EQ(put(FOUR_CHAR_CODE("Vnmp"), "y"), memFullErr);
    EXPECT_EQ(AESizeOfParam(&event.event, FOUR_CHAR_CODE("Vnmp"), nullptr, nullptr), errAEDescNotFound);
}

// A hand-made Event call as any program could send it: the D-Bus error name, or "" when taken.
std::string CallEventMethod(pid_t pid, const std::vector<uint64_t>& sizes, off_t fileSize, bool withFile) {
    sd_bus* bus = nullptr;
    sd_bus_message* call = nullptr;
    if (sd_bus_open_user(&bus) < 0 ||
        sd_bus_message_new_method_call(bus, &call, vnplatform::ProcessBusName(pid).c_str(),
                                       vnplatform::kProcessObjectPath, vnplatform::kProcessInterface,
                                       vnplatform::kEventMethod) < 0)
        return "no call";
    sd_bus_message_append(call, "uu", kTestClass, kEcho);
    sd_bus_message_open_container(call, 'a', "(uut)");
    for (uint64_t size : sizes) sd_bus_message_append(call, "(uut)", FOUR_CHAR_CODE("data"), typeChar, size);
    sd_bus_message_close_container(call);
    const int file = ::memfd_create("test-event", MFD_CLOEXEC);
    EXPECT_EQ(::ftruncate(file, fileSize), 0);  // sparse: no memory behind the size
    if (withFile) sd_bus_message_append(call, "h", file);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const int r = sd_bus_call(bus, call, 0, &error, nullptr);
    const std::string name = r >= 0 ? "" : error.name != nullptr ? error.name : "failed";
    sd_bus_error_free(&error);
    sd_bus_message_unref(call);
    ::close(file);
    sd_bus_flush_close_unref(bus);
    return name;
}

// CallEventMethod from a child process running as `uid`.
std::string CallEventMethodAs(uid_t uid, pid_t pid) {
    int out[2];
    if (::pipe(out) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped = ::setgid(uid) == 0 && ::setuid(uid) == 0;
        const std::string name = dropped ? CallEventMethod(pid, {10}, 10, true) : "no setuid";
        ::_exit(::write(out[1], name.data(), name.size()) < 0);
    }
    ::close(out[1]);
    std::string name;
    for (char c; ::read(out[0], &c, 1) == 1;) name += c;
    ::close(out[0]);
    ::waitpid(child, nullptr, 0);
    return name;
}

TEST(EventChannel, EventsFromAnotherUserAreRefusedUnhandled) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can send as another user";
    const testing_support::PrivateBus openToAll(true);
    Peer peer("com.corvane.EchoPeer");
    EXPECT_EQ(CallEventMethodAs(65534, peer.pid()), SD_BUS_ERROR_ACCESS_DENIED);
    EXPECT_EQ(CallEventMethodAs(::geteuid(), peer.pid()), "");
    EXPECT_EQ(peer.nextLine(), "VnTs echo 7001 direct=- vnmp=- sender=-") << "only the second";
    EXPECT_THAT(peer.err(), HasSubstr(": events are taken from this user only\n"));
}

TEST(EventChannel, OversizeMalformedOrUnhandledEventsAreRefusedAndTheReceiverGoesOnWhole) {
    Peer peer("com.corvane.EchoPeer");
    const uint64_t cap = kAEMaxEventBytes;
    const struct {
        std::vector<uint64_t> sizes;
        off_t fileSize;
        bool withFile;
        std::string error;
    } cases[] = {
        {{cap}, off_t(cap), true, ""},
        {{cap + 1}, off_t(cap + 1), true, SD_BUS_ERROR_LIMITS_EXCEEDED},
        {{cap / 2, cap / 2 + 1}, off_t(cap + 1), true, SD_BUS_ERROR_LIMITS_EXCEEDED},
        {{10}, 9, true, SD_BUS_ERROR_INVALID_ARGS},
        {{10}, 11, true, SD_BUS_ERROR_INVALID_ARGS},
        {{10}, 10, false, SD_BUS_ERROR_INVALID_ARGS},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CallEventMethod(peer.pid(), c.sizes, c.fileSize, c.withFile), c.error)
            << testing::PrintToString(c.sizes) << " in " << c.fileSize << " bytes";
    EXPECT_EQ(peer.nextLine(), "VnTs echo 7001 direct=- vnmp=- sender=-") << "the largest event taken";
    ASSERT_EQ(SendTest(PsnOf(peer.pid()), FOUR_CHAR_CODE("nohd"), "x"), noErr);
    // Then the handler gets class, id, refcon and every parameter, whatever their bytes.
    const std::string payload("00ABFF\0\xFF", 8);
    ASSERT_EQ(SendTest(PsnOf(peer.pid()), kEcho, payload), noErr);
    EXPECT_EQ(peer.nextLine(), "VnTs echo 7001 direct=" + payload + " vnmp=" + payload +
                                   " sender=" + std::to_string(::getpid()));
    EXPECT_THAT(peer.err(), HasSubstr("varnel-platform: refused event from :"));
    EXPECT_THAT(peer.err(), HasSubstr("varnel-platform: dropped event 'VnTs'/'nohd': no handler\n"));
}

}  // namespace
}  // namespace platform_test
