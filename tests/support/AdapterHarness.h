// Drives libi2cadapter against at24sim as the writer does: an emulator process on a pty for the
// length of a test, and the engine's own block transfer over the library's entry points, with the
// port and mode set through the environment.
#pragma once

#include "SimProcess.h"

#include <cstdint>
#include <string>
#include <vector>

// Binds the engine to the library (write wait 5 ms, pins low) and sets every variable the library
// reads, so that nothing is left over from an earlier test: COM1 and COM20 are link, then variable
// (when given) is value.
void Prepare(
    const std::string& link, const char* pipeline = "1", const char* variable = nullptr, const char* value = "");
// Bytes that differ from record to record and from the erased state.
std::vector<uint8_t> Pattern(uint32_t address, int count);
// pDone, when given, tells whether the library reported the read as done.
std::vector<uint8_t> ReadRecord(uint32_t address, int count, bool* pDone = nullptr);
