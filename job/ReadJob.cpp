#include "EepromBlock.h"
#include "HexRecord.h"
#include "I2cLibrary.h"
#include "JobFrame.h"
#include "WriteJob.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// The image as Intel HEX, record for record as srec_cat writes one: records from the first address
// on, an extended linear address record before the first and wherever the upper half changes.
std::string FormatHex(const std::vector<uint8_t>& image, uint32_t start, int recordSize)
{
    std::string text;
    uint32_t upper = UINT32_MAX;
    for (size_t i = 0; i < image.size(); i += static_cast<size_t>(recordSize)) {
        uint32_t address = start + static_cast<uint32_t>(i);
        if (address >> 16 != upper) {
            upper = address >> 16;
            const uint8_t value[] = { static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper) };
            text += FormatHexRecord(kRecordExtendedLinear, 0, value, 2) + "\n";
        }
        size_t n = std::min(image.size() - i, static_cast<size_t>(recordSize));
        text += FormatHexRecord(kRecordData, static_cast<uint16_t>(address), image.data() + i, n) + "\n";
    }
    return text + FormatHexRecord(kRecordEndOfFile, 0, nullptr, 0) + "\n";
}

bool WriteAll(int fd, const std::string& text)
{
    for (size_t at = 0; at < text.size();) {
        ssize_t n = ::write(fd, text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        at += static_cast<size_t>(n);
    }
    return true;
}

// The file appears under its name only when it is whole: it is written beside it under a
// temporary name first, then renamed over it.
bool SaveFile(const std::string& path, const std::string& text, std::string& reason)
{
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temporary;
    int fd = -1;
    for (int i = 0; i < 100 && fd < 0; ++i) {
        temporary = folder + "." + name + "." + std::to_string(::getpid()) + "-" + std::to_string(i);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0) {
        reason = path + ": " + std::strerror(errno);
        return false;
    }
    bool bSaved = WriteAll(fd, text) && ::fsync(fd) == 0;
    int error = errno;
    bSaved = ::close(fd) == 0 && bSaved;
    if (bSaved && ::rename(temporary.c_str(), path.c_str()) == 0)
        return true;
    reason = path + ": " + std::strerror(bSaved ? errno : error);
    ::unlink(temporary.c_str());
    return false;
}

JobResult ReadFile(JobDisplay& display)
{
    std::vector<uint8_t> image(JobOptions.Length);
    uint32_t done = 0;
    JobResult result = JobResult::Success;
    if (!ReadRange(display, JobOptions.Offset, JobOptions.Length, image.data(), done, JobOptions.Length, result))
        return result;
    std::string text = JobOptions.bBinary ? std::string(image.begin(), image.end())
                                          : FormatHex(image, JobOptions.Offset, JobOptions.RecordSize);
    std::string reason;
    if (!SaveFile(JobSettings.HexFile, text, reason)) {
        display.AppendLog("File Write Error.");
        JobRunState.Reason = reason;
        return JobResult::FileWriteError;
    }
    return JobResult::Success;
}

} // namespace

int ReadJob()
{
    return RunJobFrame("reading", ReadFile);
}
