// The processor time the calling thread has used, in milliseconds: the
// measure for tests that bound how much work an operation does. Unlike the
// wall clock it does not grow while a loaded machine runs other programs.
#pragma once

#include <cstdint>
#include <ctime>

inline std::int64_t thread_cpu_ms()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// The same for every thread of this process (work handed to worker threads
// counts too).
inline std::int64_t process_cpu_ms()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}
