// A whole job over an arbitrary file, against the in-process device. A small reader of its own
// says what the device must hold: every data record's bytes and 0xFF elsewhere when the log has no
// error line; with an error line, the records before the one it names and nothing after it.
#include "JobSettings.h"
#include "RecordingDisplay.h"
#include "StandInAdapter.h"
#include "WriteJob.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
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
    if ((sum & 0xFF) != 0 || bytes.size() != static_cast<size_t>(bytes[0]) + 5)
        return {};
    if ((bytes[3] == 2 || bytes[3] == 4) && bytes[0] != 2)
        return {};
    return bytes;
}

Expected Decode(std::string text)
{
    Expected expected;
    if (size_t z = text.find('\x1A'); z != std::string::npos)
        text.resize(z);
    std::string lf;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            lf += text[i];
    }
    uint32_t base = 0;
    int number = 0;
    for (size_t start = 0; start < lf.size();) {
        size_t nl = lf.find('\n', start);
        size_t end = nl == std::string::npos ? lf.size() : nl + 1;
        ++number;
        for (size_t piece = start; piece < end; piece += 1023) {
            std::string chunk = lf.substr(piece, std::min<size_t>(1023, end - piece));
            if (!chunk.empty() && chunk.back() == '\n')
                chunk.pop_back();
            if (chunk.empty() || chunk[0] != ':')
                continue;
            std::vector<int> bytes = RecordBytes(chunk);
            if (bytes.empty()) {
                expected.errorLine = "Record error Line:" + std::to_string(number) + "\n";
                return expected;
            }
            int type = bytes[3];
            uint32_t value = bytes.size() > 6 ? static_cast<uint32_t>(bytes[4] << 8 | bytes[5]) : 0;
            if (type == 4)
                base = value << 16;
            else if (type == 2)
                base = value * 16;
            if (type != 0)
                continue;
            uint32_t address = base + static_cast<uint32_t>(bytes[1] << 8 | bytes[2]);
            if (address + static_cast<uint32_t>(bytes[0]) > 0x20000 || address >= 0x20000) {
                char line[48];
                std::snprintf(line, sizeof line, "Address error Address:%06X\n", address);
                expected.errorLine = line;
                return expected;
            }
            for (int i = 0; i < bytes[0]; ++i)
                expected.memory[address + static_cast<uint32_t>(i)] = static_cast<uint8_t>(bytes[4 + i]);
        }
        start = end;
    }
    return expected;
}

std::string g_path;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (g_path.empty()) {
        char pattern[] = "/tmp/at24fuzz.XXXXXX";
        int fd = ::mkstemp(pattern);
        if (fd < 0)
            std::abort();
        ::close(fd);
        g_path = pattern;
    }
    std::string text(reinterpret_cast<const char*>(data), size);
    if (FILE* file = std::fopen(g_path.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }

    standin::Bus& bus = standin::Install();
    RecordingDisplay display;
    JobSettings = SJobSettings();
    JobSettings.HexFile = g_path;
    JobSettings.WriteWait = 0;
    JobSettings.RetryMax = 1;
    JobSettings.iSerialPort = 1;
    JobRunState.WorkerThread = true;
    WriteJob();

    Expected expected = Decode(text);
    std::vector<std::string> body = display.Body();
    bool bMatch = expected.errorLine.empty() ? body.empty() : body == std::vector<std::string> { expected.errorLine };
    if (!bMatch || bus.memory != expected.memory) {
        std::fprintf(stderr, "log body: %zu lines, first: %s\nexpected error: %s\n", body.size(),
            body.empty() ? "" : body[0].c_str(), expected.errorLine.c_str());
        std::abort();
    }
    return 0;
}
