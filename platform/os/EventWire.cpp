#include "os/EventWire.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "os/SdBus.h"

namespace vnplatform {

namespace {

constexpr char kParamListType[] = "(uut)";

int WriteAll(int fd, const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -errno;
        done += static_cast<size_t>(n);
    }
    return 0;
}

bool ReadAllAt(int fd, std::string& bytes, off_t offset) {
    for (size_t done = 0; done < bytes.size();) {
        const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, offset + off_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

int Malformed(sd_bus_error* error, const char* what) {
    return sd_bus_error_setf(error, SD_BUS_ERROR_INVALID_ARGS, "malformed event: %s", what);
}

int Oversize(sd_bus_error* error) {
    return sd_bus_error_setf(error, SD_BUS_ERROR_LIMITS_EXCEEDED, "event parameters exceed %zu bytes",
                             kAEMaxEventBytes);
}

}  // namespace

int AppendEvent(sd_bus_message* message, const AEEventData& event) {
    UniqueFd file(::memfd_create("varnel-event", MFD_CLOEXEC));
    if (file.get() < 0) return -errno;
    for (const AEParam& param : event.params)
        if (int r = WriteAll(file.get(), param.bytes); r < 0) return r;
    int r = sd_bus_message_append(message, "uu", event.eventClass, event.eventId);
    if (r >= 0) r = sd_bus_message_open_container(message, 'a', kParamListType);
    for (size_t i = 0; r >= 0 && i < event.params.size(); ++i) {
        const AEParam& param = event.params[i];
        r = sd_bus_message_append(message, kParamListType, param.keyword, param.type,
                                  uint64_t(param.bytes.size()));
    }
    if (r >= 0) r = sd_bus_message_close_container(message);
    if (r >= 0) r = sd_bus_message_append(message, "h", file.get());
    return r < 0 ? r : 0;
}

int ReadEvent(sd_bus_message* message, AEEventData* event, sd_bus_error* error) {
    if (sd_bus_message_read(message, "uu", &event->eventClass, &event->eventId) < 0)
        return Malformed(error, "no class and id");
    if (sd_bus_message_enter_container(message, 'a', kParamListType) < 0)
        return Malformed(error, "no parameter list");
    std::vector<ParamHeader> headers;
    uint64_t total = 0;
    for (;;) {
        ParamHeader header;
        const int r =
            sd_bus_message_read(message, kParamListType, &header.keyword, &header.type, &header.size);
        if (r < 0) return Malformed(error, "bad parameter list");
        if (r == 0) break;
        if (header.size > kAEMaxEventBytes - total) return Oversize(error);
        if (headers.size() == kMostEventParams) return Malformed(error, "too many parameters");
        total += header.size;
        headers.push_back(header);
    }
    int fd = -1;
    if (sd_bus_message_exit_container(message) < 0 || sd_bus_message_read(message, "h", &fd) < 0)
        return Malformed(error, "no parameter file");
    return ReadParams(headers, fd, event, error);
}

int ReadParams(const std::vector<ParamHeader>& headers, int fd, AEEventData* event, sd_bus_error* error) {
    if (headers.size() > kMostEventParams) return Malformed(error, "too many parameters");
    uint64_t total = 0;
    for (const ParamHeader& header : headers) {
        if (header.size > kAEMaxEventBytes - total) return Oversize(error);
        total += header.size;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || uint64_t(info.st_size) != total)
        return Malformed(error, "parameter file does not match the list");
    off_t offset = 0;
    for (const ParamHeader& header : headers) {
        std::string bytes(header.size, '\0');
        if (!ReadAllAt(fd, bytes, offset)) return Malformed(error, "parameter file shorter than its list");
        offset += off_t(header.size);
        PutParam(*event, header.keyword, header.type, std::move(bytes));
    }
    return 0;
}

}  // namespace vnplatform
