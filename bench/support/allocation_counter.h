// Counts every allocation of the program: the binary that links allocation_counter.cpp has its
// global operator new replaced.
#pragma once

#include <cstdint>

namespace bench {

std::uint64_t AllocationCount();

}  // namespace bench
