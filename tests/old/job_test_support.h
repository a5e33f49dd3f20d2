// Byte helpers shared by the job-model tests: hexadecimal text and key streams built in memory.
#pragma once

#include <sstream>
#include <string>

#include "UKeyStream.h"
#include "hexcodec.h"
#include "umessage.h"

namespace job_test {

// "4B 53 ff" -> bytes; spaces are ignored.
inline std::string Unhex(std::string text) {
    std::erase(text, ' ');
    return vnu::HexDecode(text);
}

// Spaced pairs, so that a failed comparison shows where the bytes part.
inline std::string Hex(const std::string& bytes) {
    const std::string plain = vnu::HexEncode(bytes);
    std::string text;
    for (size_t i = 0; i < plain.size(); i += 2) text += (i ? " " : "") + plain.substr(i, 2);
    return text;
}

// A complete stream whose root content is what `body` writes.
template <class Body>
std::string Stream(Body body, int identifier = 0) {
    std::ostringstream os;
    UKeyOutStream out(os, identifier);
    body(out);
    out.Flush();
    return os.str();
}

// A stream whose root holds the one record `key`, its content what `body` writes.
template <class Body>
std::string RecordStream(UKey key, Body body) {
    return Stream([&](UKeyOutStream& out) {
        out << UKeyOutStream::StartRecord(key);
        body(out);
        out.Pop();
    });
}

// What `read` gives from a reader of `bytes`.
template <class Read>
auto ReadStream(const std::string& bytes, Read read) {
    std::istringstream is(bytes);
    UKeyInStream in(is);
    return read(in);
}

// A message field as the companion application writes one: the flattened bytes, unstripped.
inline void WriteMessage(UKeyOutStream& out, UKey key, const umessage& message) {
    std::ostringstream os;
    message.flatten(os);
    const std::string bytes = os.str();
    out << key;
    out.WriteField(bytes.data(), static_cast<int>(bytes.size()), UKeyStream::eType_Bytes);
}

}  // namespace job_test
