#include "EepromBlock.h"
#include "I2cLibrary.h"
#include "JobFrame.h"
#include "WriteJob.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kNoRecord = -1;

// The file as the device must hold it: every byte it defines, the last record to define a byte
// winning as when records are written one after another, and which record that was.
struct FileImage {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kEepromSize, 0xFF);
    std::vector<int> owner = std::vector<int>(kEepromSize, kNoRecord); // index into records
    std::vector<uint32_t> records; // each record's address, for the log
    std::vector<std::string> lines; // and its line, for the current-record line
    uint32_t total = 0;
};

// Reads the whole file before anything is written, so that a bad record leaves the device untouched.
JobResult ReadImage(JobDisplay& display, FileImage& image)
{
    return ForEachRecord(display, [&image](const HexRecordReader& reader) {
        int index = static_cast<int>(image.records.size());
        image.records.push_back(reader.Address());
        image.lines.push_back(reader.Line());
        for (int b = 0; b < reader.BlockCount(); ++b) {
            const RecordBlock& block = reader.Blocks()[b];
            for (int i = 0; i < block.count; ++i) {
                uint32_t address = block.address + static_cast<uint32_t>(i);
                image.total += image.owner[address] == kNoRecord ? 1 : 0;
                image.owner[address] = index;
                image.bytes[address] = reader.Data()[block.first + i];
            }
        }
        return JobResult::Success;
    });
}

// One attempt at a page: each run of defined bytes in one page write, each but the last followed by
// acknowledge polling, then the page read back in one read once the device is ready. The address of
// the first byte that is not right (or of the page's first defined byte, when the adapter failed), or
// UINT32_MAX when all are.
uint32_t AttemptPage(const FileImage& image, uint32_t first, uint32_t last)
{
    uint8_t readBack[kEepromPageSize];
    bool bDone = true;
    for (uint32_t at = first; at <= last && bDone;) {
        uint32_t end = at;
        while (end <= last && image.owner[end] != kNoRecord)
            ++end;
        bDone = EepromPageWrite(at, static_cast<int>(end - at), &image.bytes[at]);
        at = end + 1;
        while (at <= last && image.owner[at] == kNoRecord)
            ++at;
        // The read back waits for the last write's cycle itself.
        if (bDone && at <= last)
            bDone = EepromAwaitWrite(first, JobSettings.WriteWait);
    }
    if (!bDone || !EepromReadAfterWrite(first, static_cast<int>(last - first + 1), readBack, JobSettings.WriteWait))
        return first;
    for (uint32_t at = first; at <= last; ++at) {
        if (image.owner[at] != kNoRecord && readBack[at - first] != image.bytes[at])
            return at;
    }
    return UINT32_MAX;
}

JobResult WritePages(JobDisplay& display)
{
    FileImage image;
    JobResult result = ReadImage(display, image);
    if (result != JobResult::Success)
        return result;
    uint32_t done = 0;
    for (uint32_t page = 0; page < kEepromSize; page += kEepromPageSize) {
        uint32_t first = page, last = page + kEepromPageSize - 1;
        while (first <= last && image.owner[first] == kNoRecord)
            ++first;
        if (first > last)
            continue;
        while (image.owner[last] == kNoRecord)
            --last;
        if (StopRequested(display))
            return JobResult::Stopped;
        uint32_t failedRecord = UINT32_MAX;
        int attempt = 0;
        for (; attempt < JobSettings.RetryMax; ++attempt) {
            int index = image.owner[first];
            char prefix[16];
            std::snprintf(prefix, sizeof prefix, "%06X : ", image.records[static_cast<size_t>(index)]);
            const std::string& line = image.lines[static_cast<size_t>(index)];
            display.ShowCurrent((prefix + (line.size() > 9 ? line.substr(9) : "") + "\n").c_str());
            uint32_t wrong = AttemptPage(image, first, last);
            if (wrong == UINT32_MAX) {
                if (attempt > 0)
                    LogAddress(display, "Retry success", failedRecord);
                break;
            }
            // The log names records, as a record-by-record write would.
            failedRecord = image.records[static_cast<size_t>(image.owner[wrong])];
            LogAddress(display, "Verify error", failedRecord);
        }
        if (attempt == JobSettings.RetryMax) {
            LogAddress(display, "Write error", failedRecord);
            JobRunState.Reason = I2cLastError();
            return JobResult::WriteError;
        }
        for (uint32_t at = first; at <= last; ++at)
            done += image.owner[at] != kNoRecord ? 1 : 0;
        display.ShowProgress(done, image.total);
    }
    return JobResult::Success;
}

} // namespace

int PageWriteJob()
{
    return RunJobFrame("writing", WritePages);
}
