#include "input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "keystream/UKeyStream.h"

namespace inspect {

using traits = std::char_traits<char>;

FileInput::FileInput(int fd, bool owned) : fd_(fd), owned_(owned), buffer_(new char[kBlock]) {
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) fail("is a directory");
    if (S_ISREG(st.st_mode)) {
        const off_t here = ::lseek(fd_, 0, SEEK_CUR);
        seekable_ = here >= 0;
        filePos_ = here;
    }
    setg(buffer_.get(), buffer_.get(), buffer_.get());
}

FileInput::~FileInput() {
    if (owned_) ::close(fd_);
}

std::unique_ptr<FileInput> FileInput::open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error(std::string("cannot be opened: ") + std::strerror(errno));
    auto input = std::make_unique<FileInput>(fd, true);
    if (!input->problem().empty()) throw std::runtime_error(input->problem());
    return input;
}

FileInput::int_type FileInput::underflow() {
    if (gptr() < egptr()) return traits::to_int_type(*gptr());
    if (!problem().empty()) return traits::eof();
    for (;;) {
        const ssize_t n = ::read(fd_, buffer_.get(), kBlock);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            fail(errno == EISDIR ? std::string("is a directory")
                                 : std::string("cannot be read: ") + std::strerror(errno));
            return traits::eof();
        }
        if (n == 0) return traits::eof();
        filePos_ += n;
        setg(buffer_.get(), buffer_.get(), buffer_.get() + n);
        return traits::to_int_type(*gptr());
    }
}

FileInput::pos_type FileInput::seekoff(off_type off, std::ios_base::seekdir dir,
                                       std::ios_base::openmode which) {
    const pos_type refused(off_type(-1));
    if (!seekable_) return refused;
    const off_type here = filePos_ - (egptr() - gptr());
    if (dir == std::ios_base::cur) {
        // Telling the position keeps what is buffered.
        return off == 0 ? pos_type(here) : seekpos(pos_type(here + off), which);
    }
    if (dir == std::ios_base::beg) return seekpos(pos_type(off), which);
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return refused;
    return seekpos(pos_type(off_type(st.st_size) + off), which);
}

FileInput::pos_type FileInput::seekpos(pos_type pos, std::ios_base::openmode) {
    if (!seekable_ || off_type(pos) < 0 || ::lseek(fd_, off_type(pos), SEEK_SET) < 0)
        return pos_type(off_type(-1));
    filePos_ = off_type(pos);
    setg(buffer_.get(), buffer_.get(), buffer_.get());
    return pos;
}

namespace {

int hexDigit(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool isBlank(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

void HexInput::stop(std::uint64_t offset, int character) {
    char shown[16];
    if (character >= 0x20 && character < 0x7F && character != '\'')
        std::snprintf(shown, sizeof shown, "'%c'", character);
    else
        std::snprintf(shown, sizeof shown, "0x%02X", static_cast<unsigned>(character));
    pending_ = "not hexadecimal at offset " + std::to_string(offset) + " (" + shown + ")";
}

bool HexInput::onlyBlanksFollow() {
    for (;;) {
        const int_type c = text_.sbumpc();
        if (traits::eq_int_type(c, traits::eof())) return true;
        ++offset_;
        if (!isBlank(c)) return false;
    }
}

HexInput::int_type HexInput::underflow() {
    if (gptr() < egptr()) return traits::to_int_type(*gptr());
    if (!pending_.empty()) fail(pending_);
    if (!problem().empty()) return traits::eof();
    std::size_t n = 0;
    while (n < sizeof buffer_ && pending_.empty()) {
        const int_type high = text_.sbumpc();
        if (traits::eq_int_type(high, traits::eof())) break;
        const std::uint64_t at = offset_++;
        if (hexDigit(high) < 0) {
            if (!isBlank(high) || !onlyBlanksFollow()) stop(at, high);
            break;
        }
        const int_type low = text_.sbumpc();
        if (traits::eq_int_type(low, traits::eof())) {
            pending_ = "odd number of hexadecimal digits";
            break;
        }
        ++offset_;
        if (hexDigit(low) < 0) {
            if (isBlank(low) && onlyBlanksFollow())
                pending_ = "odd number of hexadecimal digits";
            else
                stop(at + 1, low);
            break;
        }
        buffer_[n++] = static_cast<char>(hexDigit(high) * 16 + hexDigit(low));
    }
    setg(buffer_, buffer_, buffer_ + n);
    if (n > 0) return traits::to_int_type(buffer_[0]);
    if (!pending_.empty()) fail(pending_);
    return traits::eof();
}

std::string readRootRecord(std::streambuf& in, bool* more) {
    if (more != nullptr) *more = false;
    std::string bytes;
    // Up to `total` bytes in all; the string grows with the bytes that come, not with the
    // length a header claims.
    const auto fill = [&](std::size_t total) {
        while (bytes.size() < total) {
            const std::size_t have = bytes.size();
            const std::size_t part = std::min<std::size_t>(total - have, 64 * 1024);
            bytes.resize(have + part);
            const auto got = static_cast<std::size_t>(std::max<std::streamsize>(
                0, in.sgetn(bytes.data() + have, static_cast<std::streamsize>(part))));
            bytes.resize(have + got);
            if (got < part) return false;
        }
        return true;
    };
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    if (!fill(2) || UKey(char(at(0)), char(at(1))) != UKeyStream::kRootKey || !fill(3)) return bytes;
    const std::size_t headerSize = at(2) == UKeyStream::kLongLength ? 8 : 4;
    if (!fill(headerSize) || at(headerSize - 1) != UKeyStream::eType_Record) return bytes;
    std::uint32_t length = at(2);
    if (headerSize == 8)
        length = std::uint32_t{at(3)} << 24 | std::uint32_t{at(4)} << 16 | std::uint32_t{at(5)} << 8 | at(6);
    if (fill(headerSize + length) && more != nullptr) *more = !traits::eq_int_type(in.sgetc(), traits::eof());
    return bytes;
}

}  // namespace inspect
