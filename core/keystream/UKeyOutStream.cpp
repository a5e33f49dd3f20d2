// The key stream's writer; the reader is UKeyStream.cpp.
#include "keystream/UKeyStream.h"

#include <bit>
#include <cstring>
#include <limits>
#include <ostream>
#include <stdexcept>

namespace {

void PutBigEndian32(unsigned char* out, std::uint32_t v) {
    out[0] = static_cast<unsigned char>(v >> 24);
    out[1] = static_cast<unsigned char>(v >> 16);
    out[2] = static_cast<unsigned char>(v >> 8);
    out[3] = static_cast<unsigned char>(v);
}

}  // namespace

UKeyOutStream::UKeyOutStream(std::ostream& out, int identifier) : out_(out) {
    Push(kRootKey, eType_Record);
    if (identifier != 0) *this << kIdKey << identifier;
    *this << kVersionKey << kFormatVersion;
}

UKeyOutStream::~UKeyOutStream() {
    try {
        Flush();
    } catch (...) {
        // A destructor must not throw; whatever failed is left in the output stream's state.
    }
}

void UKeyOutStream::Put(const void* bytes, std::size_t count) {
    out_.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(count));
}

UKeyOutStream& UKeyOutStream::operator<<(UKey key) {
    pendingKey_ = key;
    return *this;
}

UKeyOutStream& UKeyOutStream::operator<<(int value) {
    unsigned char bytes[4];
    PutBigEndian32(bytes, static_cast<std::uint32_t>(value));
    WriteField(bytes, 4, eType_Int32);
    return *this;
}

UKeyOutStream& UKeyOutStream::operator<<(bool value) {
    const unsigned char byte = value ? 1 : 0;
    WriteField(&byte, 1, eType_Boolean);
    return *this;
}

UKeyOutStream& UKeyOutStream::operator<<(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    unsigned char bytes[8];
    PutBigEndian32(bytes, static_cast<std::uint32_t>(bits >> 32));
    PutBigEndian32(bytes + 4, static_cast<std::uint32_t>(bits));
    WriteField(bytes, 8, eType_Double);
    return *this;
}

UKeyOutStream& UKeyOutStream::operator<<(const ustring& value) {
    WriteField(value.data(), static_cast<int>(value.size()), eType_String);
    return *this;
}

UKeyOutStream& UKeyOutStream::operator<<(const char* value) {
    WriteField(value, static_cast<int>(std::strlen(value)), eType_String);
    return *this;
}

UKeyOutStream& UKeyOutStream::operator<<(const StartRecord& marker) {
    Push(marker.key, eType_Record);
    return *this;
}

UKeyOutStream& UKeyOutStream::operator<<(const StartArray& marker) {
    Push(marker.key, eType_Array);
    levels_[depth_].keyed = false;
    return *this;
}

void UKeyOutStream::WriteField(const void* data, int length, UKeyStream::eType type) {
    if (depth_ < 0) throw std::logic_error("UKeyOutStream: no open container");
    if (length < 0) throw std::invalid_argument("UKeyOutStream: negative field length");
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t count = static_cast<std::size_t>(length);
    if (type != eType_String && type != eType_Bytes) {
        while (count > 0 && *bytes == 0) {
            ++bytes;
            --count;
        }
    }
    unsigned char header[2 + 5 + 1];
    std::size_t n = 0;
    if (levels_[depth_].keyed) {
        header[n++] = static_cast<unsigned char>(pendingKey_ >> 8);
        header[n++] = static_cast<unsigned char>(pendingKey_);
    }
    if (count < kLongLength) {
        header[n++] = static_cast<unsigned char>(count);
    } else {
        header[n++] = kLongLength;
        PutBigEndian32(header + n, static_cast<std::uint32_t>(count));
        n += 4;
    }
    header[n++] = type;
    Put(header, n);
    if (count > 0) Put(bytes, count);
    pendingKey_ = 0;
}

void UKeyOutStream::Push(unsigned short key, UKeyStream::eType type) {
    if (depth_ + 1 >= kMaxLevels) throw std::logic_error("UKeyOutStream: exceeded depth");
    Level& level = levels_[++depth_];
    level = Level{};
    const unsigned char header[8] = {
        static_cast<unsigned char>(key >> 8), static_cast<unsigned char>(key), kLongLength, 0, 0, 0, 0, type};
    Put(header, sizeof header);
    level.contentPos =
        out_.fail() ? -1 : std::int64_t(out_.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::out));
    level.keyed = true;
}

void UKeyOutStream::Pop() {
    if (depth_ < 0) throw std::logic_error("UKeyOutStream: no open container");
    const std::int64_t start = levels_[depth_].contentPos;
    if (start > 0) {
        std::int64_t here = -1;
        if (!out_.fail()) {
            here = out_.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::out);
            if (here < 0) out_.setstate(std::ios::failbit);
        }
        const std::int64_t length = here - start;
        if (here >= 0 && length > std::int64_t{std::numeric_limits<std::uint32_t>::max()}) {
            // The format cannot carry it; better a failed stream than a wrong length.
            out_.setstate(std::ios::failbit);
        }
        if (!out_.fail()) {
            unsigned char patch[5] = {kLongLength};
            PutBigEndian32(patch + 1, static_cast<std::uint32_t>(length));
            out_.seekp(start - 6);
            Put(patch, sizeof patch);
            out_.seekp(here);
        }
    }
    --depth_;
}

void UKeyOutStream::Flush() {
    while (depth_ >= 0) Pop();
    out_.flush();
}
