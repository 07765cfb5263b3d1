// The three time lines of a job, run whole with chosen readings of its two clocks.
#include "JobTime.h"
#include "HexBuilder.h"
#include "JobSettings.h"
#include "RecordingDisplay.h"
#include "StandInAdapter.h"
#include "WriteJob.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

// In the time zone the suite runs in, UTC+9.
constexpr std::time_t kMorning = 1780257603; // 2026-06-01 05:00:03
constexpr std::time_t kNoon = 1780282800; // 2026-06-01 12:00:00
constexpr std::time_t kEpoch = 0; // 1970-01-01 09:00:00

// The job's readings, at its start [0] and at its end [1], and how often it took them.
std::time_t g_wall[2];
std::chrono::milliseconds g_tick[2];
int g_nWallReads = 0;
int g_nTickReads = 0;

TEST(JobTimeTest, LogShowsTheTimesOfDayAndAProcessingTimeThatAgrees)
{
    const struct {
        const char* name;
        std::time_t wallStart, wallEnd;
        std::chrono::milliseconds elapsed;
        const char *pszStart, *pszFinish, *pszProcessing;
    } kCases[] = { { "across_a_second", kMorning, kMorning + 1, 200ms, "Start writing. (05:00:03)",
                       "Finish writing. (05:00:04)", "Processing time 0:00:01 (1sec)" },
        { "hours_minutes_seconds", kEpoch, kEpoch + 3725, 3725s, "Start writing. (09:00:00)",
            "Finish writing. (10:02:05)", "Processing time 1:02:05 (3725sec)" },
        { "whole_days_not_shown", kEpoch, kEpoch + 90000, 90000s, "Start writing. (09:00:00)",
            "Finish writing. (10:00:00)", "Processing time 1:00:00 (90000sec)" },
        // The wall clock set during the job: the monotonic measure.
        { "set_back_an_hour", kNoon, kNoon + 3600, 7200s, "Start writing. (12:00:00)", "Finish writing. (13:00:00)",
            "Processing time 2:00:00 (7200sec)" },
        { "set_back_within_a_second", kNoon, kNoon - 1, 0ms, "Start writing. (12:00:00)", "Finish writing. (11:59:59)",
            "Processing time 0:00:00 (0sec)" },
        // A second apart is still the same clock; more is a jump.
        { "a_second_ahead", kNoon, kNoon + 1, 0ms, "Start writing. (12:00:00)", "Finish writing. (12:00:01)",
            "Processing time 0:00:01 (1sec)" },
        { "more_than_a_second_ahead", kNoon, kNoon + 2, 999ms, "Start writing. (12:00:00)",
            "Finish writing. (12:00:02)", "Processing time 0:00:00 (0sec)" } };
    ::setenv("TZ", "JST-9", 1); // the other suites look at no time of day
    ::tzset();
    SJobClock system = JobClock;
    JobClock
        = { [] { return g_wall[std::min(g_nWallReads++, 1)]; }, [] { return g_tick[std::min(g_nTickReads++, 1)]; } };
    TempDir dir;
    for (const auto& c : kCases) {
        standin::Install();
        JobSettings = SJobSettings();
        JobSettings.HexFile = dir.Write("empty.hex", "");
        g_wall[0] = c.wallStart;
        g_wall[1] = c.wallEnd;
        g_tick[0] = 168h; // the monotonic clock's origin is not the job's start
        g_tick[1] = g_tick[0] + c.elapsed;
        g_nWallReads = g_nTickReads = 0;
        RecordingDisplay display;
        JobRunState.WorkerThread = true;
        EXPECT_EQ(WriteJob(), 0);
        EXPECT_EQ(display.Log(), (std::vector<std::string> { c.pszStart, c.pszFinish, c.pszProcessing })) << c.name;
        EXPECT_EQ(std::pair(g_nWallReads, g_nTickReads), std::pair(2, 2)) << c.name;
    }
    JobClock = system;
}

} // namespace
