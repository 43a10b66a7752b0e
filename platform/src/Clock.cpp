#include "platform/Clock.h"

#include <time.h>

#include <cstdio>

namespace vxplatform {

LocalTime localTimeNow() {
    const time_t now = ::time(nullptr);
    struct tm fields {};
    LocalTime result;
    if (!::localtime_r(&now, &fields)) return result;
    result.year = fields.tm_year + 1900;
    result.month = fields.tm_mon + 1;
    result.day = fields.tm_mday;
    result.hour = fields.tm_hour;
    result.minute = fields.tm_min;
    result.second = fields.tm_sec;
    return result;
}

std::string formatLocalTime(const LocalTime& time, const char* dateSeparator, const char* middle,
                            const char* timeSeparator) {
    char text[96];
    std::snprintf(text, sizeof text, "%d%s%02d%s%02d%s%02d%s%02d%s%02d", time.year, dateSeparator,
                  time.month, dateSeparator, time.day, middle, time.hour, timeSeparator, time.minute,
                  timeSeparator, time.second);
    return text;
}

}  // namespace vxplatform
