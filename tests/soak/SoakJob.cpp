#include "SoakJob.h"

#include "ChildProcess.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>

namespace {

constexpr uint32_t kDeviceSize = 0x20000;
constexpr int kAttempts = 5;

struct Fault {
    const char* name;
    SoakExpect expect;
    // "@address" stands for the fault address, "@bytes" for a count of command bytes.
    std::vector<const char*> simArgs;
    bool bEmulator = true;
};

const Fault kFaults[] = {
    { "none", SoakExpect::Clean, {} },
    { "corrupt-once", SoakExpect::OneRetry, { "--corrupt", "@address" } },
    { "stuck", SoakExpect::FailsAtFault, { "--stuck", "@address" } },
    // The writer waits its default 5 ms.
    { "busy-longer-than-wait", SoakExpect::Any, { "--write-cycle-ms", "12" } },
    { "wrong-pins", SoakExpect::FailsAtFirst, { "--a1", "high" } },
    { "hang-up", SoakExpect::Fails, { "--hangup-after", "@bytes" } },
    { "mute", SoakExpect::Fails, { "--mute-after", "@bytes" } },
    { "no-adapter", SoakExpect::PortOpenError, {}, false },
};
constexpr uint32_t kFaultCount = std::size(kFaults);

struct Span {
    uint32_t address, size;
};

// The data records of an objcopy-made file, with the segment and linear bases it uses.
std::vector<Span> DataRecords(const std::string& hexText)
{
    std::vector<Span> records;
    uint32_t base = 0;
    std::istringstream in(hexText);
    for (std::string line; std::getline(in, line);) {
        if (line.size() < 11 || line[0] != ':')
            continue;
        auto field = [&](size_t at, size_t width) {
            return static_cast<uint32_t>(std::stoul(line.substr(at, width), nullptr, 16));
        };
        uint32_t type = field(7, 2);
        if (type == 0x00)
            records.push_back({ base + field(3, 4), field(1, 2) });
        else if (type == 0x02)
            base = field(9, 4) << 4;
        else if (type == 0x04)
            base = field(9, 4) << 16;
    }
    return records;
}

std::string Hex(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%06X", value);
    return text;
}

const Span* RecordAt(const std::vector<Span>& records, uint32_t address)
{
    for (const Span& r : records)
        if (address >= r.address && address < r.address + r.size)
            return &r;
    return nullptr;
}

// The log body's grammar: runs of "Verify error" for one record, each closed by "Retry success"
// within the attempts, or by "Write error" after all of them as the last line. The failed
// record's start, or kDeviceSize when none failed.
uint32_t ReadBody(
    const std::vector<std::string>& body, const std::vector<Span>& records, std::vector<std::string>& wrong)
{
    static const std::regex kLine(R"((Verify error|Retry success|Write error) Address:([0-9A-F]{6}))");
    uint32_t pending = kDeviceSize;
    int nVerifyErrors = 0;
    for (size_t i = 0; i < body.size(); ++i) {
        std::smatch m;
        if (!std::regex_match(body[i], m, kLine)) {
            wrong.push_back("unexpected log line: " + body[i]);
            continue;
        }
        uint32_t address = static_cast<uint32_t>(std::stoul(m[2], nullptr, 16));
        const Span* pRecord = RecordAt(records, address);
        if (!pRecord || pRecord->address != address)
            wrong.push_back("names no record of the file: " + body[i]);
        if (m[1] == "Verify error") {
            if (nVerifyErrors > 0 && address != pending)
                wrong.push_back("a new record before the last one's outcome: " + body[i]);
            pending = address;
            ++nVerifyErrors;
            continue;
        }
        bool bWriteError = m[1] == "Write error";
        bool bRightCount = bWriteError ? nVerifyErrors == kAttempts : nVerifyErrors < kAttempts;
        if (nVerifyErrors == 0 || address != pending || !bRightCount)
            wrong.push_back("not after its record's failed attempts: " + body[i]);
        if (bWriteError) {
            if (i + 1 != body.size())
                wrong.push_back("the job went on after " + body[i]);
            return address;
        }
        nVerifyErrors = 0;
    }
    if (nVerifyErrors > 0)
        wrong.push_back("no outcome for the record of " + body.back());
    return kDeviceSize;
}

void CheckImage(const SoakJob& job, uint32_t goodEnd, uint32_t dirtyEnd, const std::vector<uint8_t>& image,
    std::vector<std::string>& wrong)
{
    if (image.size() != kDeviceSize) {
        wrong.push_back("the device image holds " + std::to_string(image.size()) + " bytes");
        return;
    }
    uint32_t fileEnd = job.address + static_cast<uint32_t>(job.data.size());
    size_t nWrong = 0;
    uint32_t first = 0;
    for (uint32_t a = 0; a < kDeviceSize; ++a) {
        bool bOk = true;
        if (a >= job.address && a < goodEnd)
            bOk = image[a] == job.data[a - job.address];
        else if (a < job.address || a >= dirtyEnd || a >= fileEnd)
            bOk = image[a] == 0xFF;
        if (!bOk && nWrong++ == 0)
            first = a;
    }
    if (nWrong > 0)
        wrong.push_back(std::to_string(nWrong) + " bytes of the device differ from what the log claims, the first at "
            + Hex(first));
}

} // namespace

SoakJob PlanSoakJob(uint32_t seed, int index)
{
    // Every fault three times in a shuffled order, then one drawn freely: each run meets them all.
    std::vector<uint32_t> deck;
    for (int copy = 0; copy < 3; ++copy)
        for (uint32_t f = 0; f < kFaultCount; ++f)
            deck.push_back(f);
    std::mt19937 shuffler(seed);
    std::shuffle(deck.begin(), deck.end(), shuffler);
    deck.push_back(shuffler() % kFaultCount);
    const Fault& fault = kFaults[deck[static_cast<size_t>(index) % deck.size()]];

    std::seed_seq seq { seed, static_cast<uint32_t>(index) };
    std::mt19937 random(seq);
    auto draw = [&](uint32_t low, uint32_t high) { return low + random() % (high - low + 1); };
    SoakJob job;
    job.fault = fault.name;
    job.expect = fault.expect;
    uint32_t size = draw(1024, 4096);
    // A quarter of the files straddle the device's two halves.
    job.address = draw(0, 3) == 0 ? draw(0x10000 - size + 1, 0xFFFF) : draw(0, kDeviceSize - size);
    job.data.resize(size);
    for (uint8_t& b : job.data)
        b = static_cast<uint8_t>(random());
    job.faultAddress = job.address + draw(0, size - 1);
    // The adapter gets about two command bytes per data byte, so the line goes somewhere between
    // the connect and the last record.
    uint32_t bytes = draw(0, 2 * size);
    for (const char* pszArg : fault.simArgs) {
        std::string arg = pszArg;
        if (arg == "@address")
            arg = std::to_string(job.faultAddress);
        else if (arg == "@bytes")
            arg = std::to_string(bytes);
        job.simArgs.push_back(arg);
    }
    job.bEmulator = fault.bEmulator;
    return job;
}

std::string WriteSoakFiles(const SoakJob& job, const std::string& folder)
{
    std::string bin = folder + "/data.bin", hex = folder + "/job.hex";
    std::ofstream(bin, std::ios::binary)
        .write(reinterpret_cast<const char*>(job.data.data()), static_cast<std::streamsize>(job.data.size()));
    ChildProcess objcopy;
    if (!objcopy.Start(
            { OBJCOPY, "-I", "binary", "-O", "ihex", "--change-addresses", std::to_string(job.address), bin, hex })
        || objcopy.Wait() != 0)
        return "";
    return hex;
}

std::vector<std::string> CheckSoakJob(const SoakJob& job, const std::string& hexText, int status,
    const std::vector<std::string>& log, const std::vector<uint8_t>& image)
{
    std::vector<std::string> wrong;
    std::vector<Span> records = DataRecords(hexText);
    if (records.empty())
        return { "the HEX file holds no data records" };
    if (status != 0 && status != 1)
        wrong.push_back("exit status " + std::to_string(status));
    static const std::regex kStart(R"(Start writing\. \(\d\d:\d\d:\d\d\))");
    static const std::regex kFinish(R"(Finish writing\. \(\d\d:\d\d:\d\d\))");
    static const std::regex kTime(R"(Processing time \d+:\d\d:\d\d \(\d+sec\))");
    size_t n = log.size();
    if (n < 3 || !std::regex_match(log[0], kStart) || !std::regex_match(log[n - 2], kFinish)
        || !std::regex_match(log[n - 1], kTime)) {
        wrong.push_back("the log lacks its start or closing lines");
        return wrong;
    }
    std::vector<std::string> body(log.begin() + 1, log.end() - 2);

    bool bPortOpenError = body == std::vector<std::string> { "Port Open Error." };
    uint32_t failed = bPortOpenError ? job.address : ReadBody(body, records, wrong);
    bool bFailed = failed != kDeviceSize;
    if ((status == 0 || status == 1) && status != (bFailed ? 1 : 0))
        wrong.push_back("exit status " + std::to_string(status) + (bFailed ? " after a failure" : " after success"));

    const Span* pFault = RecordAt(records, job.faultAddress);
    switch (job.expect) {
    case SoakExpect::Clean:
        if (!body.empty())
            wrong.push_back("a fault-free job logged " + body.front());
        break;
    case SoakExpect::OneRetry:
        if (body
            != std::vector<std::string> {
                "Verify error Address:" + Hex(pFault->address), "Retry success Address:" + Hex(pFault->address) })
            wrong.push_back("not one retry of the record at " + Hex(pFault->address));
        break;
    case SoakExpect::FailsAtFault:
    case SoakExpect::FailsAtFirst: {
        uint32_t at = job.expect == SoakExpect::FailsAtFault ? pFault->address : records.front().address;
        if (bPortOpenError || failed != at)
            wrong.push_back("no Write error at the record at " + Hex(at));
        break;
    }
    case SoakExpect::Fails:
        if (!bFailed)
            wrong.push_back("success on a line that went away");
        break;
    case SoakExpect::PortOpenError:
        if (!bPortOpenError)
            wrong.push_back("no Port Open Error. without an adapter");
        break;
    case SoakExpect::Any:
        break;
    }

    if (!job.bEmulator)
        return wrong;
    // Every record before the failed one is in the device, nothing after it was written.
    uint32_t goodEnd = job.address + static_cast<uint32_t>(job.data.size());
    uint32_t dirtyEnd = goodEnd;
    if (bPortOpenError) {
        goodEnd = dirtyEnd = job.address;
    } else if (bFailed) {
        const Span* pFailed = RecordAt(records, failed);
        if (!pFailed)
            return wrong; // the log is wrong already; it gives no bounds to check the device by
        goodEnd = failed;
        dirtyEnd = failed + pFailed->size;
    }
    CheckImage(job, goodEnd, dirtyEnd, image, wrong);
    return wrong;
}
