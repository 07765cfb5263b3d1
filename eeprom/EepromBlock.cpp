#include "EepromBlock.h"

#include "I2cLibrary.h"
#include "JobSettings.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace {

constexpr uint8_t kSelectBase = 0xA0;
constexpr uint8_t kPageBit = 0x02; // address bit 16 travels in the select byte
constexpr uint8_t kReadBit = 0x01;

uint8_t DeviceSelect(uint32_t address, bool bRead)
{
    uint8_t select = kSelectBase | JobSettings.AddressMask;
    if (address > 0xFFFF)
        select |= kPageBit;
    if (bRead)
        select |= kReadBit;
    return select;
}

// Every call is made whatever an earlier one reported, so that the bus always sees a whole
// transaction; the result says whether all of them went through.
bool SendAddress(uint32_t address)
{
    bool bOk = I2cLibrary.i2c_start() != 0;
    bOk &= I2cLibrary.i2c_write(DeviceSelect(address, false)) == 0;
    bOk &= I2cLibrary.i2c_write((address >> 8) & 0xFF) == 0;
    bOk &= I2cLibrary.i2c_write(address & 0xFF) == 0;
    return bOk;
}

} // namespace

bool EepromPageWrite(uint32_t address, int count, const uint8_t* data)
{
    bool bOk = SendAddress(address);
    for (int i = 0; i < count; ++i)
        bOk &= I2cLibrary.i2c_write(data[i]) == 0;
    bOk &= I2cLibrary.i2c_stop() != 0;
    return bOk;
}

namespace {

// Tries until the device takes part, for at most maxMs after the last page write: during its write
// cycle the device refuses its select byte. A device takes about as long for each cycle, so the
// first try waits for most of the shortest cycle seen (measured where a try had been refused, so
// that it was not over earlier), and tries that a busy device would refuse are saved.
bool AwaitReady(int maxMs, const std::function<bool()>& bTry)
{
    using namespace std::chrono;
    static std::atomic<long> s_shortestUs { 0 };
    auto start = steady_clock::now();
    auto deadline = start + milliseconds(maxMs);
    std::this_thread::sleep_for(microseconds(std::min<long>(s_shortestUs.load() * 7 / 8, maxMs * 1000L)));
    for (bool bRefused = false;; bRefused = true) {
        // One try after the deadline too: a device that needs all of its time is not late.
        auto now = steady_clock::now();
        bool bLast = now >= deadline;
        bool bReady = bTry();
        long us = duration_cast<microseconds>(now - start).count();
        if (bReady && bRefused && (s_shortestUs.load() == 0 || us < s_shortestUs.load()))
            s_shortestUs.store(us);
        if (bReady || bLast)
            return bReady;
        // A try costs a bus transaction; a cycle takes milliseconds.
        std::this_thread::sleep_for(microseconds(200));
    }
}

} // namespace

bool EepromAwaitWrite(uint32_t address, int maxMs)
{
    return AwaitReady(maxMs, [address] {
        bool bReady = I2cLibrary.i2c_start() != 0;
        bReady &= I2cLibrary.i2c_write(DeviceSelect(address, false)) == 0;
        return I2cLibrary.i2c_stop() != 0 && bReady;
    });
}

bool EepromReadAfterWrite(uint32_t address, int count, uint8_t* buffer, int maxMs)
{
    return AwaitReady(maxMs, [=] { return EepromReadBlock(address, count, buffer); });
}

bool EepromWriteBlock(uint32_t address, int count, const uint8_t* data)
{
    bool bOk = true;
    int done = 0;
    do {
        uint32_t pageAddress = address + static_cast<uint32_t>(done);
        int room = static_cast<int>(kEepromPageSize - (pageAddress & (kEepromPageSize - 1)));
        int n = count - done < room ? count - done : room;
        bOk &= EepromPageWrite(pageAddress, n, data + done);
        // No acknowledge polling: the fixed wait covers the device's write cycle.
        std::this_thread::sleep_for(std::chrono::milliseconds(JobSettings.WriteWait));
        done += n;
    } while (done < count);
    return bOk;
}

bool EepromReadBlock(uint32_t address, int count, uint8_t* buffer)
{
    bool bOk = SendAddress(address);
    bOk &= I2cLibrary.i2c_start() != 0;
    bOk &= I2cLibrary.i2c_write(DeviceSelect(address, true)) == 0;
    int n = count > 0 ? count : 1;
    if (I2cLibrary.i2c_read_block) {
        bOk &= I2cLibrary.i2c_read_block(buffer, n, 1) == n;
    } else {
        for (int i = 0; i < n; ++i) {
            int value = I2cLibrary.i2c_read(i == n - 1 ? 1 : 0);
            bOk &= value >= 0 && value <= 0xFF;
            buffer[i] = static_cast<uint8_t>(value);
        }
    }
    bOk &= I2cLibrary.i2c_stop() != 0;
    return bOk;
}
