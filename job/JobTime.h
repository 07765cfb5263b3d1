// The time texts of the write log.
#pragma once

#include <ctime>
#include <string>

// "Start writing. (hh:mm:ss)" and its kin: the local time of day of when.
std::string FormatTimeOfDay(const char* pszLabel, std::time_t when);
// "Processing time h:mm:ss (Nsec)"; whole days are not shown.
std::string FormatProcessingTime(int totalSeconds);
