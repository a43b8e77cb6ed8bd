// The two clocks the snapshot keeps, as seconds in a double: the wall clock
// (seconds since 1970) for showing when, the monotonic clock for measuring
// how long.
#pragma once

#include <chrono>

inline double NowUnixSeconds()
{
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

inline double NowSteadySeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}
