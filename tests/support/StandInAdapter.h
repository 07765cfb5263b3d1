// An in-process adapter: functions placed in I2cLibrary that drive the device model directly,
// record the bus calls, and let a test inject faults.
#pragma once

#include "At24Device.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace standin {

struct Bus {
    std::vector<uint8_t> memory = std::vector<uint8_t>(At24Device::kSize, 0xFF);
    std::unique_ptr<At24Device> device;
    bool bConnectOk = true;
    bool bRecord = false;
    int nDisconnects = 0;
    int nLastPort = 0;
    // How the library reports: writes always 0 with the acknowledges at the stop (a library that
    // defers its replies); every read failed; the link dead after this many bus calls (-1: never).
    bool bDeferAcks = false;
    bool bReadsFail = false;
    int nCallsLeft = -1;
    uint64_t nCalls = 0; // bus calls made, a clock a test may give the device
    bool bRefused = false; // a byte of the open transaction was not acknowledged
    // "S" start, "P" stop, "W xx" write, "R0"/"R1" read with/without acknowledge.
    std::vector<std::string> calls;
};

// A fresh erased device (pins low, no write-cycle time) bound into I2cLibrary.
Bus& Install();

} // namespace standin
