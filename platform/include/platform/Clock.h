#pragma once

#include <chrono>
#include <string>

namespace vxplatform {

// The clock for deadlines and elapsed times: monotonic, high resolution.
using SteadyClock = std::chrono::steady_clock;

// A wall-clock moment in the local time zone, for log headers and names.
struct LocalTime {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;    // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

LocalTime localTimeNow();

// The fields of `time` as year, month, day, hour, minute, second, with
// every field after the year two digits wide, joined by the three
// separators given (between date fields, between date and time, between
// time fields). "/", "-", ":" gives 2024/03/09-07:05:01.
std::string formatLocalTime(const LocalTime& time, const char* dateSeparator, const char* middle,
                            const char* timeSeparator);

}  // namespace vxplatform
