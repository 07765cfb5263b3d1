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

// Part of a record that goes to consecutive EEPROM addresses: data[first] .. data[first + count - 1].
struct Block {
    uint32_t address;
    int first;
    int count;
};

// One attempt: every block written, then every block read back, each reported done by the adapter,
// and the bytes read equal to the bytes written.
bool Attempt(const Block* blocks, int nBlocks, const uint8_t* data, uint8_t* readBack)
{
    bool bOk = true;
    for (int i = 0; i < nBlocks; ++i)
        bOk &= EepromWriteBlock(blocks[i].address, blocks[i].count, data + blocks[i].first);
    for (int i = 0; i < nBlocks && bOk; ++i)
        bOk = EepromReadBlock(blocks[i].address, blocks[i].count, readBack + blocks[i].first);
    int count = blocks[nBlocks - 1].first + blocks[nBlocks - 1].count;
    return bOk && std::memcmp(data, readBack, static_cast<size_t>(count)) == 0;
}

// The attempt loop for one data record; false when every attempt failed.
bool WriteRecord(JobDisplay& display, const std::string& line, uint32_t address, const Block* blocks, int nBlocks)
{
    uint8_t data[256];
    uint8_t readBack[256];
    int count = blocks[nBlocks - 1].first + blocks[nBlocks - 1].count;
    int attempt = 0;
    for (; attempt < JobSettings.RetryMax; ++attempt) {
        display.ShowCurrent(CurrentRecordText(address, line).c_str());
        for (int j = 0; j < count; ++j)
            data[j] = static_cast<uint8_t>(ParseHexField(line, 9 + 2 * static_cast<size_t>(j), 2));
        if (Attempt(blocks, nBlocks, data, readBack)) {
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

void LogRecordError(JobDisplay& display, int nLine)
{
    char text[48];
    std::snprintf(text, sizeof text, "Record error Line:%d\n", nLine);
    display.AppendLog(text);
}

JobResult WriteFile(JobDisplay& display, HexFileReader& reader)
{
    uint32_t base = 0; // from the last extended linear or segment address record
    bool bSegment = false; // base came from a segment record: offsets wrap inside 64 KiB
    std::string line;
    line.reserve(HexFileReader::kMaxLine + 2);
    for (;;) {
        HexFileReader::Status status = reader.ReadLine(line);
        if (status == HexFileReader::Status::End)
            return JobResult::Success;
        if (status == HexFileReader::Status::Error) {
            // Ending quietly here would pass an unwritten remainder off as success.
            display.AppendLog("File Read Error.");
            JobRunState.Reason = JobSettings.HexFile + ": " + reader.ErrorReason();
            return JobResult::FileReadError;
        }
        if (JobRunState.StopRequest.load() == 1) {
            display.AppendLog("Stop processing.");
            return JobResult::Stopped;
        }
        if (status == HexFileReader::Status::BadLine) {
            LogRecordError(display, reader.LineNumber());
            return JobResult::RecordError;
        }
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
        if (line.empty() || line[0] != ':')
            continue;
        if (!CheckHexRecord(line)) {
            LogRecordError(display, reader.LineNumber());
            return JobResult::RecordError;
        }
        int count = ParseHexField(line, 1, 2);
        uint32_t offset = static_cast<uint32_t>(ParseHexField(line, 3, 4));
        int type = ParseHexField(line, 7, 2);
        if (type == kRecordExtendedLinear || type == kRecordExtendedSegment) {
            bSegment = type == kRecordExtendedSegment;
            uint32_t value = static_cast<uint32_t>(ParseHexField(line, 9, 4));
            base = bSegment ? value * 16 : value << 16;
            continue;
        }
        if (type != kRecordData)
            continue;
        // Under a segment base the offset wraps at 64 KiB: the record's tail lands at the base.
        Block blocks[2] = { { base + offset, 0, count }, { base, 0, 0 } };
        int nBlocks = 1;
        if (bSegment && offset + static_cast<uint32_t>(count) > 0x10000) {
            blocks[0].count = static_cast<int>(0x10000 - offset);
            blocks[1] = { base, blocks[0].count, count - blocks[0].count };
            nBlocks = 2;
        }
        for (int i = 0; i < nBlocks; ++i) {
            // A record without data writes nothing, wherever it points.
            uint32_t address = blocks[i].address;
            if (blocks[i].count > 0
                && (address >= kEepromSize || kEepromSize - address < static_cast<uint32_t>(blocks[i].count))) {
                LogAddress(display, "Address error", address);
                return JobResult::AddressError;
            }
        }
        if (!WriteRecord(display, line, base + offset, blocks, nBlocks)) {
            JobRunState.Reason = I2cLastError();
            return JobResult::WriteError;
        }
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
    std::string reason;
    JobRunState.Reason.clear();
    if ((I2cLibrary.i2c_connect(static_cast<unsigned short>(JobSettings.iSerialPort)) & 0xFF) == 0) {
        display.AppendLog("Port Open Error.");
        JobRunState.Reason = I2cLastError();
        result = JobResult::PortOpenError;
    } else if (!reader.Open(JobSettings.HexFile, reason)) {
        display.AppendLog("File Open Error.");
        JobRunState.Reason = JobSettings.HexFile + ": " + reason;
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
