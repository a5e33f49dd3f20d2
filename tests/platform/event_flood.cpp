// A hostile but ordinary program of the same user: sends events to a bus name as fast as the bus
// takes them, in turn: a call of the wrong signature, an event without parameters, one whose list
// claims more bytes than any event may carry, one whose file does not match its list, a valid
// event of the test class, and a valid reply of the Varnel application ('savY', 'expY') that
// nobody asked for. Requests ('detT') name this process as their sender. Prints how many it sent.
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "os/SdBus.h"

namespace {

using vnplatform::BusPtr;
using vnplatform::MessagePtr;

constexpr const char* kUsage =
    "usage: event_flood BUS_NAME SECONDS [MOST_EVENTS]\n"
    "Floods BUS_NAME's com.corvane.Process.Event for SECONDS (and at most MOST_EVENTS events, 0: no\n"
    "limit) with malformed, oversize and valid events.\n";

constexpr uint32_t Code(const char (&text)[5]) {
    return uint32_t(uint8_t(text[0])) << 24 | uint32_t(uint8_t(text[1])) << 16 | uint32_t(uint8_t(text[2])) << 8 |
           uint32_t(uint8_t(text[3]));
}

// Kept open until the program ends.
int FileOf(const std::string& bytes) {
    const int file = ::memfd_create("flood", MFD_CLOEXEC);
    if (file >= 0 && ::write(file, bytes.data(), bytes.size()) != ssize_t(bytes.size())) return -1;
    return file;
}

struct Param {
    uint32_t keyword, type;
    uint64_t size;
};

// An Event call: class, id, the parameter list as given, and `file` as the bytes.
MessagePtr EventCall(sd_bus* bus, const char* to, uint32_t eventClass, uint32_t id,
                     std::initializer_list<Param> params, int file) {
    sd_bus_message* m = nullptr;
    if (sd_bus_message_new_method_call(bus, &m, to, "/com/corvane/Process", "com.corvane.Process", "Event") < 0)
        return nullptr;
    MessagePtr call(m);
    sd_bus_message_set_expect_reply(m, 0);
    sd_bus_message_set_auto_start(m, 0);
    int r = sd_bus_message_append(m, "uu", eventClass, id);
    if (r >= 0) r = sd_bus_message_open_container(m, 'a', "(uut)");
    for (const Param& p : params)
        if (r >= 0) r = sd_bus_message_append(m, "(uut)", p.keyword, p.type, p.size);
    if (r >= 0) r = sd_bus_message_close_container(m);
    if (r >= 0) r = sd_bus_message_append(m, "h", file);
    return r < 0 ? nullptr : std::move(call);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fputs(kUsage, argc == 2 && std::strcmp(argv[1], "--help") == 0 ? stdout : stderr);
        return argc == 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    const char* to = argv[1];
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[2]));
    const unsigned long most = argc == 4 ? std::strtoul(argv[3], nullptr, 10) : 0;
    sd_bus* opened = nullptr;
    if (sd_bus_open_user(&opened) < 0) {
        std::fputs("event_flood: no session bus\n", stderr);
        return 1;
    }
    const BusPtr bus(opened);

    const uint32_t self = uint32_t(::getpid());
    const std::string hex = "4B5306";  // not a whole job: the reply fails where it is read
    std::string psn(8, '\0');
    std::memcpy(psn.data() + 4, &self, 4);
    const int empty = FileOf(""), reply = FileOf(hex + hex + psn), small = FileOf("abc");
    if (empty < 0 || reply < 0 || small < 0) {
        std::fputs("event_flood: cannot make the event files\n", stderr);
        return 1;
    }
    const uint32_t text = Code("TEXT"), payload = Code("Vnmp"), direct = Code("----");
    const uint32_t sender = Code("Psn "), psnType = Code("psn ");
    const uint64_t n = hex.size();

    unsigned long sent = 0;
    for (unsigned long i = 0; std::chrono::steady_clock::now() < end && (most == 0 || sent < most); ++i) {
        MessagePtr m;
        switch (i % 7) {
            case 0: {
                sd_bus_message* raw = nullptr;
                if (sd_bus_message_new_method_call(bus.get(), &raw, to, "/com/corvane/Process",
                                                   "com.corvane.Process", "Event") >= 0) {
                    m.reset(raw);
                    sd_bus_message_set_expect_reply(raw, 0);
                    sd_bus_message_append(raw, "s", "wrong signature");
                }
                break;
            }
            case 1: m = EventCall(bus.get(), to, Code("VnTs"), Code("flod"), {}, empty); break;
            case 2: m = EventCall(bus.get(), to, Code("VnTs"), Code("flod"), {{direct, text, 1ull << 40}}, small); break;
            case 3: m = EventCall(bus.get(), to, Code("VnTs"), Code("flod"), {{direct, text, 2}}, small); break;
            case 4: m = EventCall(bus.get(), to, Code("VnTs"), Code("flod"), {{direct, text, 3}}, small); break;
            case 5:
                m = EventCall(bus.get(), to, Code("AWZS"), i % 2 ? Code("savY") : Code("expY"),
                              {{direct, text, n}, {payload, text, n}, {sender, psnType, 8}}, reply);
                break;
            case 6:
                m = EventCall(bus.get(), to, Code("AWZS"), Code("detT"),
                              {{direct, text, n}, {payload, text, n}, {sender, psnType, 8}}, reply);
                break;
        }
        if (!m) continue;
        int r = sd_bus_send(bus.get(), m.get(), nullptr);
        if (r == -ENOBUFS) {
            // The bus has not taken what is queued yet: hand it over, then go on.
            sd_bus_flush(bus.get());
            r = sd_bus_send(bus.get(), m.get(), nullptr);
        }
        if (r < 0) {
            std::fprintf(stderr, "event_flood: the bus refused the flood after %lu events: %s\n", sent,
                         std::strerror(-r));
            return 1;
        }
        ++sent;
        if (sent % 64 == 0) sd_bus_flush(bus.get());
    }
    sd_bus_flush(bus.get());
    std::printf("%lu\n", sent);
    return 0;
}
