#include "WriteJob.h"

#include "EepromBlock.h"
#include "HexFileReader.h"
#include "HexRecord.h"
#include "I2cLibrary.h"
#include "JobDisplay.h"
#include "JobSettings.h"
#include "JobTime.h"
#include "Trace.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

namespace {

void LogAddress(JobDisplay& display, const char* pszLabel, uint32_t address)
{
    char text[64];
    std::snprintf(text, sizeof text, "%s Address:%06X\n", pszLabel, address);
    display.AppendLog(text);
}

std::string CurrentRecordText(uint32_t address, const std::string& line)
{
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%06X : ", address);
    std::string text = prefix;
    if (line.size() > 9)
        text.append(line, 9);
    text += '\n';
    return text;
}

// The attempt loop for one data record; false when every attempt failed.
bool WriteRecord(JobDisplay& display, const std::string& line, uint32_t address, int count)
{
    uint8_t data[256];
    uint8_t readBack[256];
    int attempt = 0;
    for (; attempt < JobSettings.RetryMax; ++attempt) {
        display.ShowCurrent(CurrentRecordText(address, line).c_str());
        for (int j = 0; j < count; ++j)
            data[j] = static_cast<uint8_t>(ParseHexField(line, 9 + 2 * static_cast<size_t>(j), 2));
        EepromWriteBlock(address, count, data);
        EepromReadBlock(address, count, readBack);
        if (std::memcmp(data, readBack, static_cast<size_t>(count)) == 0) {
            if (attempt > 0)
                LogAddress(display, "Retry success", address);
            break;
        }
        LogAddress(display, "Verify error", address);
    }
    if (attempt == JobSettings.RetryMax) {
        LogAddress(display, "Write error", address);
        return false;
    }
    return true;
}

JobResult WriteFile(JobDisplay& display, HexFileReader& reader)
{
    uint32_t base = 0; // from the last extended linear or segment address record
    std::string line;
    line.reserve(HexFileReader::kLineBuffer);
    for (;;) {
        HexFileReader::Status status = reader.ReadLine(line);
        if (status == HexFileReader::Status::End)
            return JobResult::Success;
        if (status == HexFileReader::Status::Error) {
            // Ending quietly here would pass an unwritten remainder off as success.
            display.AppendLog("File Read Error.");
            return JobResult::FileReadError;
        }
        if (JobRunState.StopRequest.load() == 1) {
            display.AppendLog("Stop processing.");
            return JobResult::Stopped;
        }
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
        if (line.empty() || line[0] != ':')
            continue;
        if (!CheckHexRecord(line)) {
            char text[48];
            std::snprintf(text, sizeof text, "Record error Line:%d\n", reader.LineNumber());
            display.AppendLog(text);
            return JobResult::RecordError;
        }
        int count = ParseHexField(line, 1, 2);
        uint32_t offset = static_cast<uint32_t>(ParseHexField(line, 3, 4));
        int type = ParseHexField(line, 7, 2);
        if (type == kRecordExtendedLinear) {
            base = static_cast<uint32_t>(ParseHexField(line, 9, 4)) << 16;
            continue;
        }
        if (type == kRecordExtendedSegment) {
            base = static_cast<uint32_t>(ParseHexField(line, 9, 4)) * 16;
            continue;
        }
        if (type != kRecordData)
            continue;
        uint32_t address = base + offset;
        if (address >= kEepromSize || kEepromSize - address < static_cast<uint32_t>(count)) {
            LogAddress(display, "Address error", address);
            return JobResult::AddressError;
        }
        if (!WriteRecord(display, line, address, count))
            return JobResult::WriteError;
    }
}

} // namespace

int WriteJob()
{
    JobDisplay& display = GetJobDisplay();
    std::time_t startTime = JobClock.Wall();
    std::chrono::milliseconds startTick = JobClock.Monotonic();
    display.SetControlsEnabled(false);
    display.SetWriteCaption("Stop");
    display.AppendLog(FormatTimeOfDay("Start writing.", startTime).c_str());

    JobResult result;
    HexFileReader reader;
    if ((I2cLibrary.i2c_connect(static_cast<unsigned short>(JobSettings.iSerialPort)) & 0xFF) == 0) {
        display.AppendLog("Port Open Error.");
        result = JobResult::PortOpenError;
    } else if (!reader.Open(JobSettings.HexFile)) {
        display.AppendLog("File Open Error.");
        result = JobResult::FileOpenError;
    } else {
        result = WriteFile(display, reader);
    }

    reader.Close();
    I2cLibrary.i2c_disconnect();
    std::time_t endTime = JobClock.Wall();
    std::chrono::milliseconds elapsed = JobClock.Monotonic() - startTick;
    display.AppendLog(FormatTimeOfDay("Finish writing.", endTime).c_str());
    display.AppendLog(FormatProcessingTime(ProcessingSeconds(startTime, endTime, elapsed)).c_str());
    display.SetWriteCaption("Write");
    display.SetControlsEnabled(true);

    JobRunState.StopRequest.store(0);
    JobRunState.Result.store(result);
    Trace("Thread Exit.\r\n");
    JobRunState.WorkerThread.store(false);
    return 0;
}
