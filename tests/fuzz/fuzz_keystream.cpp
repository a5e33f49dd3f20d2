// Opens every record and array a key stream holds and reads every field as every type. Any
// failure must be a std::runtime_error whose text starts "UKeyInStream: "; anything else (a
// crash, a sanitizer report, another exception, a hang) is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <string>

#include "UKeyStream.h"
#include "ulogger.h"
#include "umessage.h"

namespace {

void CheckError(const std::runtime_error& e) {
    if (std::strncmp(e.what(), "UKeyInStream: ", 14) != 0) std::abort();
}

// Runs one part of the walk; after an error the reader must still be usable, so the walk goes
// on with the next part once the levels opened inside are closed again.
template <class F>
void Guarded(UKeyInStream& in, F&& part) {
    const int depth = in.Depth();
    try {
        part();
    } catch (const std::runtime_error& e) {
        CheckError(e);
    }
    while (in.Depth() > depth) in.Pop();
}

void ReadKeyedField(UKeyInStream& in, const UKeyInStream::FieldInfo& field) {
    int i = 0;
    bool b = false;
    double d = 0;
    ustring s;
    std::string raw;
    umessage m;
    // Reading a field into a narrower target is an error the walk would stop at; it is covered
    // by reading the field as bytes.
    if (field.length <= 4) in >> field.key >> i;
    if (field.length <= 1) in >> field.key >> b;
    if (field.length <= 8) in >> field.key >> d;
    in >> field.key >> s;
    in >> field.key >> m;
    in >> field.key;
    in.Read8BitStringWithUnknownEncoding(raw);
    if (raw.size() != static_cast<std::size_t>(field.length)) std::abort();
}

void Walk(UKeyInStream& in);

// An array is read once per target type, each pass in order from its start.
void WalkArray(UKeyInStream& in, UKey key) {
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

void Walk(UKeyInStream& in) {
    while (in.Next()) {
        for (const auto& field : in.IndexedFields()) {
            Guarded(in, [&] { ReadKeyedField(in, field); });
            // Every field may be opened as either container; the format does not say which.
            if (in.Depth() < UKeyStream::kMaxLevels) {
                Guarded(in, [&] {
                    in >> UKeyInStream::StartRecord(field.key);
                    Walk(in);
                });
                Guarded(in, [&] { WalkArray(in, field.key); });
            } else {
                try {
                    in >> UKeyInStream::StartRecord(field.key);
                    std::abort();
                } catch (const std::runtime_error& e) {
                    CheckError(e);
                }
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vnu::logger.mask = 0;  // undecodable messages would log on every input
    std::istringstream is(std::string(reinterpret_cast<const char*>(data), size));
    try {
        UKeyInStream in(is);
        Walk(in);
    } catch (const std::runtime_error& e) {
        CheckError(e);
    }
    return 0;
}
