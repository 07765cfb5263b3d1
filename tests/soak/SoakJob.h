// One job of the fault soak, its file and fault drawn from a seed, and the check of how it ended; for the
// command-line soak (through soak-job) and the dialog soak alike.
#pragma once

#include "WriteOracle.h"

#include <algorithm>
#include <random>

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
        uint32_t end = address + static_cast<uint32_t>(data.size());
        faultAddress = draw(address, end - 1);
        simArgs = std::regex_replace(fault.simArgs, std::regex("@A"), std::to_string(faultAddress));
        // About two command bytes per data byte: a line gone after so many goes anywhere in the job.
        simArgs = std::regex_replace(simArgs, std::regex("@B"), std::to_string(draw(0, 2 * (end - address))));
        hex = WrittenFile { address, data }.Hex() + HexEnd();
    }

    // What is wrong with how the job ended: its log and exit status against the device's image.
    std::vector<std::string> Check(const std::string& out, int status, const std::string& imagePath) const
    {
        return WrittenFile { address, data }.Check(out, status, imagePath, fault.expect, faultAddress, Emulated());
    }

    bool Emulated() const { return fault.name != std::string("no-adapter"); }

    const SoakFault& fault;
    std::vector<uint8_t> data;
    uint32_t address, faultAddress;
    std::string simArgs, hex;
};
