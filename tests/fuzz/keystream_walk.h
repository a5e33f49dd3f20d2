// Reads everything a key stream holds: every run of every record, every field as every type,
// and every field opened as a record and as an array. The reader's own errors (std::runtime_error
// "UKeyInStream: ...") end only the part being read, as a caller reading a damaged job recovers;
// the walk then goes on with the next part. Any other exception propagates to the caller.
#pragma once

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

#include "keystream/UKeyStream.h"
#include "message/umessage.h"

namespace fuzz_support {

inline bool IsKeyStreamError(const std::runtime_error& e) {
    return std::strncmp(e.what(), "UKeyInStream: ", 14) == 0;
}

namespace detail {

// After an error the reader must still be usable once the levels opened inside are closed.
template <class F>
void Guarded(UKeyInStream& in, F&& part) {
    const int depth = in.Depth();
    try {
        part();
    } catch (const std::runtime_error& e) {
        if (!IsKeyStreamError(e)) throw;
    }
    while (in.Depth() > depth) in.Pop();
}

inline void ReadKeyedField(UKeyInStream& in, const UKeyInStream::FieldInfo& field) {
    int i = 0;
    bool b = false;
    double d = 0;
    ustring s;
    std::string raw;
    umessage m;
    // Reading into a narrower target is an error that would end the part; reading the field as
    // bytes covers it.
    if (field.length <= 4) in >> field.key >> i;
    if (field.length <= 1) in >> field.key >> b;
    if (field.length <= 8) in >> field.key >> d;
    in >> field.key >> s;
    in >> field.key >> m;
    in >> field.key;
    in.Read8BitStringWithUnknownEncoding(raw);
    if (raw.size() != static_cast<std::size_t>(field.length)) std::abort();
}

// An array is read once per target type, each pass in order from its start.
inline void WalkArray(UKeyInStream& in, UKey key) {
    for (int pass = 0; pass < 5; ++pass) {
        in >> UKeyInStream::StartArray(key);
        UKeyInStream::FieldInfo info;
        while (in.PeekField(info)) {
            int i = 0;
            bool b = false;
            double d = 0;
            ustring s;
            std::string raw;
            if (pass == 0 && info.length <= 4) {
                in >> i;
            } else if (pass == 1 && info.length <= 1) {
                in >> b;
            } else if (pass == 2 && info.length <= 8) {
                in >> d;
            } else if (pass == 3) {
                in >> s;
            } else {
                in.Read8BitStringWithUnknownEncoding(raw);
            }
        }
        if (in.Next()) std::abort();
        in.Pop();
    }
}

}  // namespace detail

inline void WalkKeyStream(UKeyInStream& in) {
    while (in.Next()) {
        for (const auto& field : in.IndexedFields()) {
            detail::Guarded(in, [&] { detail::ReadKeyedField(in, field); });
            // Every field may be opened as either container; the format does not say which.
            if (in.Depth() < UKeyStream::kMaxLevels) {
                detail::Guarded(in, [&] {
                    in >> UKeyInStream::StartRecord(field.key);
                    WalkKeyStream(in);
                });
                detail::Guarded(in, [&] { detail::WalkArray(in, field.key); });
            } else {
                try {
                    in >> UKeyInStream::StartRecord(field.key);
                    std::abort();
                } catch (const std::runtime_error& e) {
                    if (!IsKeyStreamError(e)) throw;
                }
            }
        }
    }
}

}  // namespace fuzz_support
