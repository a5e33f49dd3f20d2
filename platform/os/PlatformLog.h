// The library's own lines on standard error, one whole line per write, prefixed
// "varnel-platform: " so they stand apart from the host's log.
#pragma once

#include <cstdint>
#include <string>

namespace vnplatform {

void LogLine(const std::string& text);

// For what can happen thousands of times a second (refused or dropped events): the first of a
// run of notes of one kind is logged, the rest are counted, and the count is logged once the
// kind has been quiet for a second.
void LogBurst(const std::string& kind, const std::string& text);
// Logs the counts of runs that have gone quiet; called from the event loop.
void EndQuietBursts();
// When the next run goes quiet (CLOCK_MONOTONIC microseconds); 0 when none is going on.
uint64_t NextQuietUsec();
// 'AWZS' as written in the log, quotes included.
std::string FourCharText(uint32_t code);

}  // namespace vnplatform
