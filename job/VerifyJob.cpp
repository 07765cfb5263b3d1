#include "EepromBlock.h"
#include "JobFrame.h"
#include "WriteJob.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Every record of the file compared with what the EEPROM holds under it.
JobResult VerifyFile(JobDisplay& display)
{
    struct Record {
        uint32_t address;
        std::vector<uint8_t> data;
        RecordBlock blocks[2];
        int nBlocks;
    };
    std::vector<Record> records;
    std::vector<bool> covered(kEepromSize);
    JobResult parsed = ForEachRecord(display, [&](const HexRecordReader& reader) {
        if (reader.Count() == 0)
            return JobResult::Success;
        Record record { reader.Address(), { reader.Data(), reader.Data() + reader.Count() }, {}, reader.BlockCount() };
        for (int i = 0; i < record.nBlocks; ++i) {
            record.blocks[i] = reader.Blocks()[i];
            std::fill_n(covered.begin() + record.blocks[i].address, record.blocks[i].count, true);
        }
        records.push_back(std::move(record));
        return JobResult::Success;
    });
    if (parsed != JobResult::Success)
        return parsed;
    // Only what the file covers is read, in runs as long as the adapter allows.
    uint32_t total = static_cast<uint32_t>(std::count(covered.begin(), covered.end(), true));
    uint32_t done = 0;
    std::vector<uint8_t> image(kEepromSize);
    JobResult result = JobResult::Success;
    for (uint32_t at = 0; at < kEepromSize;) {
        uint32_t end = at;
        while (end < kEepromSize && covered[end])
            ++end;
        if (end > at && !ReadRange(display, at, end - at, image.data() + at, done, total, result))
            return result;
        at = end + 1;
    }
    int nDiffer = 0;
    for (const Record& record : records) {
        bool bSame = true;
        for (int i = 0; i < record.nBlocks; ++i)
            bSame &= std::memcmp(image.data() + record.blocks[i].address, record.data.data() + record.blocks[i].first,
                         static_cast<size_t>(record.blocks[i].count))
                == 0;
        if (!bSame) {
            LogAddress(display, "Verify error", record.address);
            ++nDiffer;
        }
    }
    char summary[64];
    std::snprintf(summary, sizeof summary, "%d of %zu records differ.", nDiffer, records.size());
    display.AppendLog(summary);
    return nDiffer == 0 ? JobResult::Success : JobResult::Differs;
}

} // namespace

int VerifyJob()
{
    return RunJobFrame("verifying", VerifyFile);
}
