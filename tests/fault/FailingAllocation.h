// Allocation failure on demand: the test executables that link FailingAllocation.cpp replace the
// global operator new, which fails at the Nth allocation counted from when a failure is armed.
#pragma once

#include <cstddef>

namespace fault {

// Arms a failure for its lifetime: the Nth allocation from now throws std::bad_alloc (the
// nothrow forms return null); the allocations before and after it succeed, so error paths can
// still build their messages. Only one may be armed at a time.
class AllocationFailure {
public:
    explicit AllocationFailure(std::size_t n);
    ~AllocationFailure();
    AllocationFailure(const AllocationFailure&) = delete;
    AllocationFailure& operator=(const AllocationFailure&) = delete;

    // Disarms; whether the Nth allocation happened. Call it before checking results, since the
    // checks allocate too.
    bool stop();
};

}  // namespace fault
