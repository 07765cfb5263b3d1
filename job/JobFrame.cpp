#include "JobFrame.h"

#include "EepromBlock.h"
#include "I2cLibrary.h"
#include "JobTime.h"
#include "Trace.h"

#include <algorithm>
#include <cstdio>
#include <string>

void LogAddress(JobDisplay& display, const char* pszLabel, uint32_t address)
{
    char text[64];
    std::snprintf(text, sizeof text, "%s Address:%06X\n", pszLabel, address);
    display.AppendLog(text);
}

bool StopRequested(JobDisplay& display)
{
    if (JobRunState.StopRequest.load() != 1)
        return false;
    display.AppendLog("Stop processing.");
    return true;
}

namespace {

// As much as one read of the adapter library fetches at once.
constexpr uint32_t kChunk = 4096;

} // namespace

bool ReadRange(JobDisplay& display, uint32_t address, uint32_t count, uint8_t* buffer, uint32_t& done, uint32_t total,
    JobResult& result)
{
    for (uint32_t at = 0; at < count; at += kChunk) {
        if (StopRequested(display)) {
            result = JobResult::Stopped;
            return false;
        }
        int n = static_cast<int>(std::min(kChunk, count - at));
        bool bRead = false;
        for (int attempt = 0; attempt < JobSettings.RetryMax && !bRead; ++attempt)
            bRead = EepromReadBlock(address + at, n, buffer + at);
        if (!bRead) {
            LogAddress(display, "Read error", address + at);
            JobRunState.Reason = I2cLastError();
            result = JobResult::ReadError;
            return false;
        }
        done += static_cast<uint32_t>(n);
        display.ShowProgress(done, total);
    }
    return true;
}

int RunJobFrame(const char* pszVerb, JobResult (*body)(JobDisplay&))
{
    JobDisplay& display = GetJobDisplay();
    std::time_t startTime = JobClock.Wall();
    std::chrono::milliseconds startTick = JobClock.Monotonic();
    display.SetControlsEnabled(false);
    display.SetWriteCaption("Stop");
    std::string verb = pszVerb;
    display.AppendLog(FormatTimeOfDay(("Start " + verb + ".").c_str(), startTime).c_str());

    JobResult result;
    JobRunState.Reason.clear();
    if ((I2cLibrary.i2c_connect(static_cast<unsigned short>(JobSettings.iSerialPort)) & 0xFF) == 0) {
        display.AppendLog("Port Open Error.");
        JobRunState.Reason = I2cLastError();
        result = JobResult::PortOpenError;
    } else {
        result = body(display);
    }

    I2cLibrary.i2c_disconnect();
    std::time_t endTime = JobClock.Wall();
    std::chrono::milliseconds elapsed = JobClock.Monotonic() - startTick;
    display.AppendLog(FormatTimeOfDay(("Finish " + verb + ".").c_str(), endTime).c_str());
    display.AppendLog(FormatProcessingTime(ProcessingSeconds(startTime, endTime, elapsed)).c_str());
    display.SetWriteCaption("Write");
    display.SetControlsEnabled(true);

    JobRunState.StopRequest.store(0);
    JobRunState.Result.store(result);
    Trace("Thread Exit.\r\n");
    JobRunState.WorkerThread.store(false);
    return 0;
}
