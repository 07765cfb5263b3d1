#include "JobTime.h"

#include <cstdio>

std::string FormatTimeOfDay(const char* pszLabel, std::time_t when)
{
    std::tm local {};
    ::localtime_r(&when, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%s (%02d:%02d:%02d)", pszLabel, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
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
