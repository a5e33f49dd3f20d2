// The receiving end of an event: the parameter list a sender claims against the file it passes.
// Whatever the list says, the reader either refuses with an error or takes exactly the bytes the
// list names, a keyword given twice keeping its last bytes.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "os/AEEventData.h"
#include "os/EventWire.h"

namespace {

constexpr size_t kEntryBytes = 7;  // keyword 4, type 1, size 2 (its top bit: a size past any cap)

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t count = data[0] % (vnplatform::kMostEventParams + 3);
    if (size < 1 + count * kEntryBytes) return 0;
    std::vector<vnplatform::ParamHeader> headers;
    const uint8_t* p = data + 1;
    for (size_t i = 0; i < count; ++i, p += kEntryBytes) {
        const uint32_t keyword = uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
        const uint16_t length = uint16_t(p[5] << 8 | p[6]);
        const uint64_t bytes = (length & 0x8000) != 0 ? (uint64_t(1) << 40) + length : length;
        headers.push_back({keyword, p[4] % 2 ? typeChar : typeProcessSerialNumber, bytes});
    }
    const std::string file(reinterpret_cast<const char*>(p), size - (p - data));
    const int fd = ::memfd_create("fuzz-event", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, file.data(), file.size()) != ssize_t(file.size())) std::abort();

    AEEventData event;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    const int r = vnplatform::ReadParams(headers, fd, &event, &error);
    ::close(fd);
    if (r < 0) {
        if (!sd_bus_error_is_set(&error)) std::abort();
        sd_bus_error_free(&error);
        return 0;
    }
    // Taken: the list covers the file exactly, and each keyword holds its last slice.
    std::map<uint32_t, std::string> expected;
    uint64_t offset = 0;
    for (const auto& header : headers) {
        expected[header.keyword] = file.substr(offset, header.size);
        offset += header.size;
    }
    if (offset != file.size() || event.params.size() != expected.size()) std::abort();
    size_t total = 0;
    for (const AEParam& param : event.params) {
        if (expected.at(param.keyword) != param.bytes) std::abort();
        total += param.bytes.size();
    }
    if (total != event.paramBytes) std::abort();
    return 0;
}
