// One job of the fault soak, its file and fault drawn from a seed, and the check of how it ended; for the
// command-line soak (through soak-job) and the dialog soak alike.
#pragma once

#include "HexBuilder.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <sstream>

// at24sim's arguments hold @A for the fault address, @B for a count of command bytes. The job ends 0 written,
// 1 failed, R failed at the record of the fault address, F at the file's first record, or ? either way.
struct SoakFault {
    const char *name, *simArgs;
    char expect;
};

inline const SoakFault kSoakFaults[] = {
    { "none", "", '0' }, { "corrupt-once", "--corrupt @A", '0' }, { "stuck", "--stuck @A", 'R' },
    { "busy-longer-than-wait", "--write-cycle-ms 12", '?' }, // the writer waits its default 5 ms
    { "wrong-pins", "--a1 high", 'F' }, { "no-device", "--no-device", 'F' }, { "hang-up", "--hangup-after @B", '1' },
    { "mute", "--mute-after @B", '1' }, { "no-adapter", "", 'F' }, // COM1 names a path where nothing is
};

// A file of 16-byte records; consecutive jobs take the faults in turn, so that 25 of them meet them all.
struct SoakJob {
    SoakJob(uint32_t seed, uint32_t index)
        : fault(kSoakFaults[(seed + index) % std::size(kSoakFaults)])
    {
        std::mt19937 random(seed ^ (index * 0x9E3779B9u));
        auto draw = [&](uint32_t low, uint32_t high) { return low + random() % (high - low + 1); };
        data.resize(draw(64, 256) * 16);
        std::generate(data.begin(), data.end(), [&] { return static_cast<uint8_t>(random()); });
        // Every other file is mostly padding: erased bytes read back the same whether written or not.
        if (index % 2)
            std::fill(data.begin() + draw(0, static_cast<uint32_t>(data.size()) / 8), data.end(), 0xFF);
        // A quarter of the files straddle the device's halves.
        address = (draw(0, 3) == 0 ? draw(0x10000 - data.size(), 0xFFFF) : draw(0, 0x20000 - data.size())) & ~15u;
        end = address + static_cast<uint32_t>(data.size());
        faultAddress = draw(address, end - 1);
        simArgs = std::regex_replace(fault.simArgs, std::regex("@A"), std::to_string(faultAddress));
        // About two command bytes per data byte: a line gone after so many goes anywhere in the job.
        simArgs = std::regex_replace(simArgs, std::regex("@B"), std::to_string(draw(0, 2 * (end - address))));
        for (uint32_t a = address; a < end; a += 16)
            hex += ((a & 0xFFFF) == 0 || a == address ? HexLinear(static_cast<uint16_t>(a >> 16)) : "")
                + HexData(static_cast<uint16_t>(a), { &data[a - address], &data[a - address] + 16 });
        hex += HexEnd();
    }

    // Success: the file is in the device. Failure: the log's last line names the record that failed (or the
    // link), and the device holds every record before it and nothing from the one after it on. What is wrong.
    std::vector<std::string> Check(const std::string& out, int status, const std::string& imagePath) const
    {
        std::vector<std::string> log, wrong;
        std::string image(std::istreambuf_iterator<char>(std::ifstream(imagePath, std::ios::binary).rdbuf()), {});
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            log.push_back(line);
        size_t n = log.size();
        static const std::regex kFrame(
            R"(Start writing\. \([\d:]{8}\)\nFinish writing\. \([\d:]{8}\)\nProcessing time \d+:\d\d:\d\d \(\d+sec\))");
        if (n < 3 || !std::regex_match(log[0] + "\n" + log[n - 2] + "\n" + log[n - 1], kFrame))
            return { "the log lacks its start or closing lines" };
        std::smatch m;
        std::string last = n > 3 ? log[n - 3] : "";
        bool bFailed = std::regex_match(last, m, std::regex(R"(Write error Address:(\w{6})|Port Open Error\.)"));
        uint32_t good = !bFailed ? end : m[1].matched ? static_cast<uint32_t>(std::stoul(m[1], nullptr, 16)) : address;
        for (size_t i = 1; i + 2 + bFailed < n; ++i)
            if (!std::regex_match(log[i], std::regex(R"((Verify error|Retry success) Address:\w{6})")))
                wrong.push_back("out of place: " + log[i]);
        if (status != bFailed || (fault.expect != '?' && bFailed != (fault.expect != '0')))
            wrong.push_back(std::string(bFailed ? "failed" : "written") + ", exit status " + std::to_string(status));
        if ((m[1].matched && (good < address || good >= end || (good - address) % 16 != 0))
            || (fault.expect == 'R' && good != (faultAddress & ~15u)) || (fault.expect == 'F' && good != address))
            wrong.push_back("failed at no record of the file, or not at the one expected: " + last);
        size_t nWrong = image.size() == 0x20000 || !Emulated() ? 0 : 1;
        for (uint32_t a = 0; a < image.size(); ++a) // of a failed record, any bytes may have been written
            nWrong += a >= address && a < good ? static_cast<uint8_t>(image[a]) != data[a - address]
                                               : (a < good || a >= good + 16 * m[1].matched) && image[a] != '\xFF';
        if (nWrong > 0)
            wrong.push_back(std::to_string(nWrong) + " bytes of the device differ from what the log claims");
        return wrong;
    }

    bool Emulated() const { return fault.name != std::string("no-adapter"); }

    const SoakFault& fault;
    std::vector<uint8_t> data;
    uint32_t address, end, faultAddress;
    std::string simArgs, hex;
};
