// The times of a job: the two clocks it reads and the time texts of the write log.
#pragma once

#include <chrono>
#include <ctime>
#include <string>

// The clocks a job reads at its start and at its end. Tests put their own in to run a job at chosen
// times.
struct SJobClock {
    std::time_t (*Wall)(); // the time of day, in whole seconds
    std::chrono::milliseconds (*Monotonic)(); // from any origin; never set back
};

extern SJobClock JobClock;

// "Start writing. (hh:mm:ss)" and its kin: the local time of day of when.
std::string FormatTimeOfDay(const char* pszLabel, std::time_t when);
// The processing time of a job that started at wallStart, ended at wallEnd and took elapsed by the
// monotonic clock.
int ProcessingSeconds(std::time_t wallStart, std::time_t wallEnd, std::chrono::milliseconds elapsed);
// "Processing time h:mm:ss (Nsec)"; whole days are not shown.
std::string FormatProcessingTime(int totalSeconds);
