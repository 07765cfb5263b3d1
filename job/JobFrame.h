// What every job does around its own work: the controls locked, the start line, the adapter
// connected, and at the end, on every road, the adapter released, the closing lines, the controls
// back, and the run state cleared for the next job.
#pragma once

#include "JobDisplay.h"
#include "JobSettings.h"

#include <cstdint>

// Runs body between "Start <verb>. (hh:mm:ss)" and "Finish <verb>. (...)" plus the processing time;
// body runs only once the adapter is connected. Returns 0, as a worker routine does.
int RunJobFrame(const char* pszVerb, JobResult (*body)(JobDisplay&));

// "<label> Address:XXXXXX" as the log shows an address.
void LogAddress(JobDisplay& display, const char* pszLabel, uint32_t address);
// Logs the stop and returns true when one was asked for.
bool StopRequested(JobDisplay& display);
// Reads [address, address + count) of the EEPROM into buffer in chunks, each tried up to RetryMax
// times, counting done up to total for the progress; the chunk that failed them all is named in a
// "Read error" line (or the stop in "Stop processing."), with result saying which.
bool ReadRange(JobDisplay& display, uint32_t address, uint32_t count, uint8_t* buffer, uint32_t& done, uint32_t total,
    JobResult& result);
