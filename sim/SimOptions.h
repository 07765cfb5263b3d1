// The command line of at24sim.
#pragma once

#include "BusPirateModel.h"

#include <cstdint>
#include <string>
#include <vector>

struct SimOptions {
    std::string linkPath;
    std::string imagePath; // empty: an erased device in memory
    std::string tracePath;
    uint8_t pins = 0; // select bits 0x04 and 0x08
    uint64_t writeCycleUs = 5000; // At24Device::kNeverReady: busy for good after the first page write
    uint64_t writeCycleMaxUs = 0; // above writeCycleUs: each page write's cycle drawn from the range
    uint64_t readEveryUs = 0; // 0: read the line as soon as bytes arrive
    struct Fault {
        uint32_t address;
        int count; // -1: every page write
    };
    std::vector<Fault> faults;
    bool firmwareGiven = false;
    bool printStats = false;
    bool showHelp = false;
    bool showVersion = false;
    BusPirateConfig bus;
};

// Fills options from argv; on a usage error returns false with a one-line reason in error.
bool ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error);

// The --help text, one line per option and per firmware build.
std::string SimUsage();
