#pragma once

// The processor time of the whole process, in seconds: the benchmarks print
// it beside wall time, since the machine they run on is shared.

#include <time.h>

inline double processorSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}
