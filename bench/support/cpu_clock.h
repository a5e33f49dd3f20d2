// The thread's own CPU time: on a shared machine other processes' time slices stay out of the
// ratios, which compare two measurements taken in the same iteration.
#pragma once

#include <time.h>

namespace bench {

inline double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

}  // namespace bench
