// A whole job over an arbitrary file, against the in-process device. A small reader of its own
// says what the device must hold: every data record's bytes and 0xFF elsewhere when the log has no
// error line; with an error line, the records before the one it names and nothing after it. With a
// fault of the device or the link, a log without an error line must still mean exactly that.
#include "HexBuilder.h"
#include "JobSettings.h"
#include "RecordingDisplay.h"
#include "StandInAdapter.h"
#include "WriteJob.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Expected {
    std::vector<uint8_t> memory = std::vector<uint8_t>(0x20000, 0xFF);
    std::string errorLine; // "" when the whole file is good
};

int Hex(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The bytes of a record, or an empty vector when it is not one.
std::vector<int> RecordBytes(std::string line)
{
    while (line.size() > 1 && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.pop_back();
    std::vector<int> bytes;
    if (line.size() < 11 || line.size() % 2 == 0)
        return {};
    unsigned sum = 0;
    for (size_t i = 1; i + 1 < line.size() + 1; i += 2) {
        int hi = Hex(line[i]), lo = Hex(line[i + 1]);
        if (hi < 0 || lo < 0)
            return {};
        bytes.push_back(hi * 16 + lo);
        sum += static_cast<unsigned>(bytes.back());
    }
    bool bExtended = bytes[3] == 2 || bytes[3] == 4;
    if ((sum & 0xFF) != 0 || bytes.size() != static_cast<size_t>(bytes[0]) + 5 || (bExtended && bytes[0] != 2))
        return {};
    return bytes;
}

bool Blank(const std::string& text)
{
    return text.find_first_not_of(" \t\r\n\x1A") == std::string::npos;
}

Expected Decode(std::string text)
{
    Expected expected;
    auto recordError = [&expected](int number) {
        expected.errorLine = "Record error Line:" + std::to_string(number) + "\n";
        return expected;
    };
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3);
    // A Ctrl-Z ends the file when only blanks follow it; otherwise its line is an error.
    int ctrlZLine = 0;
    if (size_t z = text.find('\x1A'); z != std::string::npos) {
        if (!Blank(text.substr(z)))
            ctrlZLine = 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(z), '\n'));
        text.resize(Blank(text.substr(z)) ? z : text.rfind('\n', z) + 1);
    }
    std::string lf;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            lf += text[i];
    uint32_t base = 0;
    bool bSegment = false;
    int number = 0;
    std::istringstream lines(lf);
    for (std::string line; std::getline(lines, line);) {
        ++number;
        if (line.empty() || line[0] != ':')
            continue;
        std::vector<int> bytes = line.size() > 1023 ? std::vector<int>() : RecordBytes(line);
        if (bytes.empty())
            return recordError(number);
        int type = bytes[3];
        uint32_t value = bytes.size() > 6 ? static_cast<uint32_t>(bytes[4] << 8 | bytes[5]) : 0;
        if (type == 4 || type == 2) {
            bSegment = type == 2;
            base = bSegment ? value * 16 : value << 16;
        }
        if (type != 0)
            continue;
        uint32_t offset = static_cast<uint32_t>(bytes[1] << 8 | bytes[2]);
        std::vector<uint32_t> addresses;
        for (uint32_t i = 0; i < static_cast<uint32_t>(bytes[0]); ++i)
            addresses.push_back(bSegment ? base + ((offset + i) & 0xFFFF) : base + offset + i);
        // The record goes out in pieces of consecutive addresses; the first piece that leaves the device is named.
        for (size_t i = 0, first = 0; i < addresses.size(); ++i) {
            first = i > 0 && addresses[i] != addresses[i - 1] + 1 ? i : first;
            if (addresses[i] >= 0x20000) {
                char error[48];
                std::snprintf(error, sizeof error, "Address error Address:%06X\n", addresses[first]);
                expected.errorLine = error;
                return expected;
            }
        }
        for (size_t i = 0; i < addresses.size(); ++i)
            expected.memory[addresses[i]] = static_cast<uint8_t>(bytes[4 + i]);
    }
    return ctrlZLine ? recordError(ctrlZLine) : expected;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TempDir dir;
    // A first byte of 1 to 5 picks a fault of the device or the link; the byte after it, where it matters, the
    // bus calls before the link dies. Then only this holds: a log without an error line means the file is in.
    int fault = size > 1 && data[0] >= 1 && data[0] <= 5 ? data[0] : 0;
    int nCallsLeft = fault == 3 ? data[1] * 8 : -1;
    size_t skip = fault == 0 ? 0 : fault == 3 ? 2 : 1;
    std::string text(reinterpret_cast<const char*>(data) + skip, size - skip);

    standin::Bus& bus = standin::Install();
    RecordingDisplay display;
    JobSettings = SJobSettings();
    JobSettings.HexFile = dir.Write("fuzz.hex", text);
    JobSettings.WriteWait = 0;
    JobSettings.RetryMax = 1;
    JobRunState.WorkerThread = true;
    bus.device->SetPins(fault == 1 || fault == 4 ? 0x04 : 0);
    bus.device->SetWriteCycleUs(fault == 2 ? 1000000000 : 0);
    bus.nCallsLeft = nCallsLeft;
    bus.bDeferAcks = fault == 4;
    bus.bReadsFail = fault == 5;
    WriteJob();

    Expected expected = Decode(text);
    std::vector<std::string> body = display.Body();
    bool bMatch = expected.errorLine.empty() ? body.empty() : body == std::vector<std::string> { expected.errorLine };
    if (fault != 0)
        bMatch = !body.empty() || bus.memory == expected.memory;
    if (!bMatch || (fault == 0 && bus.memory != expected.memory)) {
        std::fprintf(stderr, "log body: %zu lines, first: %s\nexpected error: %s\n", body.size(),
            body.empty() ? "" : body[0].c_str(), expected.errorLine.c_str());
        std::abort();
    }
    return 0;
}
