// Drives libi2cadapter against an emulator the way the writer does: the engine's own block
// transfer over the library's entry points, with the port and mode set through the environment.
#pragma once

#include "SimProcess.h"

#include <cstdint>
#include <string>
#include <vector>

// Sets environment variables for one test and removes them again.
class ScopedEnv {
public:
    ScopedEnv() = default;
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    void Set(const std::string& name, const std::string& value);

private:
    std::vector<std::string> m_names;
};

// Points COM1 at the emulator and connects; pipeline "0" or "1".
bool ConnectTo(const SimProcess& sim, ScopedEnv& env, const std::string& pipeline);

// Bytes that differ from record to record and from the erased state.
std::vector<uint8_t> Pattern(uint32_t address, int count);
void WriteRecord(uint32_t address, const std::vector<uint8_t>& data, int writeWaitMs);
std::vector<uint8_t> ReadRecord(uint32_t address, int count);
