// Wall-clock time as the snapshot keeps it: seconds since 1970 as a double.
#pragma once

#include <chrono>

inline double NowUnixSeconds()
{
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}
