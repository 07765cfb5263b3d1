#include "WriteJob.h"

#include "EepromBlock.h"
#include "HexRecordReader.h"
#include "I2cLibrary.h"
#include "JobFrame.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

namespace {

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

// One attempt: every block written, then every block read back, each reported done by the adapter,
// and the bytes read equal to the bytes written.
bool Attempt(const HexRecordReader& record, uint8_t* readBack)
{
    const RecordBlock* blocks = record.Blocks();
    bool bOk = true;
    for (int i = 0; i < record.BlockCount(); ++i)
        bOk &= EepromWriteBlock(blocks[i].address, blocks[i].count, record.Data() + blocks[i].first);
    for (int i = 0; i < record.BlockCount() && bOk; ++i)
        bOk = EepromReadBlock(blocks[i].address, blocks[i].count, readBack + blocks[i].first);
    return bOk && std::memcmp(record.Data(), readBack, static_cast<size_t>(record.Count())) == 0;
}

// The attempt loop for one data record; false when every attempt failed.
bool WriteRecord(JobDisplay& display, const HexRecordReader& record)
{
    uint8_t readBack[256];
    int attempt = 0;
    for (; attempt < JobSettings.RetryMax; ++attempt) {
        display.ShowCurrent(CurrentRecordText(record.Address(), record.Line()).c_str());
        if (Attempt(record, readBack)) {
            if (attempt > 0)
                LogAddress(display, "Retry success", record.Address());
            break;
        }
        LogAddress(display, "Verify error", record.Address());
    }
    if (attempt == JobSettings.RetryMax) {
        LogAddress(display, "Write error", record.Address());
        return false;
    }
    return true;
}

} // namespace

JobResult LogFileItem(JobDisplay& display, const HexRecordReader& reader, HexRecordReader::Item item)
{
    char text[48];
    switch (item) {
    case HexRecordReader::Item::ReadError:
        // Ending quietly here would pass an unwritten remainder off as success.
        display.AppendLog("File Read Error.");
        JobRunState.Reason = JobSettings.HexFile + ": " + reader.ReadErrorReason();
        return JobResult::FileReadError;
    case HexRecordReader::Item::RecordError:
        std::snprintf(text, sizeof text, "Record error Line:%d\n", reader.LineNumber());
        display.AppendLog(text);
        return JobResult::RecordError;
    case HexRecordReader::Item::AddressError:
        LogAddress(display, "Address error", reader.ErrorAddress());
        return JobResult::AddressError;
    default:
        return JobResult::Success;
    }
}

JobResult ForEachRecord(JobDisplay& display, const std::function<JobResult(const HexRecordReader&)>& onRecord)
{
    HexRecordReader reader;
    std::string reason;
    bool bOpen = JobOptions.bBinary ? reader.OpenBinary(JobSettings.HexFile, JobOptions.Offset, reason)
                                    : reader.Open(JobSettings.HexFile, reason);
    if (!bOpen) {
        display.AppendLog("File Open Error.");
        JobRunState.Reason = JobSettings.HexFile + ": " + reason;
        return JobResult::FileOpenError;
    }
    for (;;) {
        HexRecordReader::Item item = reader.Next();
        if (item == HexRecordReader::Item::End)
            return JobResult::Success;
        // A stop is honoured at the next line, but a read error comes first: the line is not there.
        if (item == HexRecordReader::Item::ReadError)
            return LogFileItem(display, reader, item);
        if (StopRequested(display))
            return JobResult::Stopped;
        if (item != HexRecordReader::Item::Data && item != HexRecordReader::Item::Other)
            return LogFileItem(display, reader, item);
        if (JobResult result = item == HexRecordReader::Item::Data ? onRecord(reader) : JobResult::Success;
            result != JobResult::Success)
            return result;
    }
}

namespace {

JobResult WriteFile(JobDisplay& display)
{
    return ForEachRecord(display, [&display](const HexRecordReader& record) {
        if (WriteRecord(display, record))
            return JobResult::Success;
        JobRunState.Reason = I2cLastError();
        return JobResult::WriteError;
    });
}

} // namespace

int WriteJob()
{
    return RunJobFrame("writing", WriteFile);
}
