// Runs at24writer-cli as a process on the loopback adapter library, with the EEPROM image in a
// temporary folder, and reads back its log and the image.
#pragma once

#include "ChildProcess.h"
#include "HexBuilder.h"
#include "JobLog.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

// Bytes the EEPROM must hold at address once the program has ended.
struct ImageBytes {
    uint32_t address;
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> Bytes(uint8_t first, size_t n);
std::vector<uint8_t> Erased(size_t n);

class CliTest : public testing::Test {
protected:
    std::vector<std::string> Env(const std::vector<std::string>& extra = {}) const;
    bool Start(
        const std::vector<std::string>& args, const std::vector<std::string>& env = {}, bool bStderrTerminal = false);
    int Run(const std::vector<std::string>& args, const std::vector<std::string>& env = {});
    void ExpectImage(const std::vector<ImageBytes>& image) const;

    TempDir dir;
    std::string imagePath = dir.Path() + "/eeprom.bin";
    ChildProcess cli;
};
