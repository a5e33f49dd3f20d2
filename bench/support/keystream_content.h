// A job-shaped key stream: a large message field, a record of many runs of item fields
// (numbers, flags, short and long texts) and arrays of doubles; and a reader of every field.
#pragma once

#include <cstdint>
#include <istream>
#include <string>

#include "keystream/UKeyStream.h"

namespace bench {

constexpr int kRuns = 1000;
constexpr int kFieldsPerRun = 30;
constexpr int kArrayDoubles = 4096;
constexpr UKey kJobKey('J', 'J');
constexpr UKey kMessageKey('D', 'p');
constexpr UKey kDoublesKey('A', 'D');

inline UKey FieldKey(int i) {
    return UKey('F', static_cast<char>('A' + i));
}

// What a reader found, to check two readers against each other.
struct Totals {
    std::uint64_t ints = 0;
    double doubles = 0;
    std::uint64_t flags = 0;
    std::uint64_t textBytes = 0;
    std::uint64_t messageBytes = 0;
};

std::string JobShapedStream(std::size_t messageBytes = 1 << 20);
Totals ReadWithKeyStream(std::istream& is);

}  // namespace bench
