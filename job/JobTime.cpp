#include "JobTime.h"

#include <cstdio>

namespace {

std::time_t SystemWall()
{
    return std::time(nullptr);
}

std::chrono::milliseconds SystemMonotonic()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

} // namespace

SJobClock JobClock { SystemWall, SystemMonotonic };

std::string FormatTimeOfDay(const char* pszLabel, std::time_t when)
{
    std::tm local {};
    ::localtime_r(&when, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%s (%02d:%02d:%02d)", pszLabel, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

int ProcessingSeconds(std::time_t wallStart, std::time_t wallEnd, std::chrono::milliseconds elapsed)
{
    // The wall clock's difference is what the two logged times of day show. Read in whole seconds,
    // it differs from the true duration by less than a second (a millisecond more against the
    // truncated monotonic measure); a larger gap, or a clock that went back, means the clock was
    // set during the job, and only the monotonic measure is right then.
    std::chrono::seconds wall(wallEnd - wallStart);
    if (wall.count() >= 0 && std::chrono::abs(wall - elapsed) <= std::chrono::seconds(1))
        return static_cast<int>(wall.count());
    return static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count());
}

std::string FormatProcessingTime(int total)
{
    int hours = total / 3600 - (total / 86400) * 24;
    int minutes = total / 60 - (total / 3600) * 60;
    int seconds = total - (total / 60) * 60;
    char text[80];
    std::snprintf(text, sizeof text, "Processing time %d:%02d:%02d (%dsec)", hours, minutes, seconds, total);
    return text;
}
