// Key streams built and read in memory for the job-model tests.
#pragma once

#include <sstream>
#include <string>

#include "ByteText.h"
#include "job/BGroup.h"
#include "job/BPageRange.h"
#include "keystream/UKeyStream.h"
#include "message/umessage.h"

namespace job_test {

using testing_support::bytes;
using testing_support::spacedHex;

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
    out << key;
    out.WriteField(os.str().data(), static_cast<int>(os.str().size()), UKeyStream::eType_Bytes);
}

// A destination of `group` with the given page size and identifier.
inline BDestination* AddDestination(BGroup& group, double width, double height, const ustring& id = "") {
    BDestination* d = group.InsertNewDestination();
    d->SetPageSize(width, height);
    d->SetIdentifier(id);
    return d;
}

inline BPageRange* Range(int first, int count, const ustring& name = "", int style = 'N') {
    auto* range = new BPageRange;
    range->SetFirstPage(first);
    range->SetPageCount(count);
    range->SetSectionName(name);
    range->SetStyle(style);
    return range;
}

}  // namespace job_test
