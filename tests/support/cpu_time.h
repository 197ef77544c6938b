// The processor time the calling thread has used, in milliseconds: the
// measure for tests that bound how much work an operation does. Unlike the
// wall clock it does not grow while a loaded machine runs other programs.
#pragma once

#include <ctime>

inline double thread_cpu_ms()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// The same for every thread of this process (work handed to worker threads
// counts too).
inline double process_cpu_ms()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}
