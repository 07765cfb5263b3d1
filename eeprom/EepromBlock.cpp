#include "EepromBlock.h"

#include "I2cLibrary.h"
#include "JobSettings.h"

#include <chrono>
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

void SendAddress(uint32_t address)
{
    I2cLibrary.i2c_start();
    I2cLibrary.i2c_write(DeviceSelect(address, false));
    I2cLibrary.i2c_write((address >> 8) & 0xFF);
    I2cLibrary.i2c_write(address & 0xFF);
}

void WritePage(uint32_t address, int count, const uint8_t* data)
{
    SendAddress(address);
    for (int i = 0; i < count; ++i)
        I2cLibrary.i2c_write(data[i]);
    I2cLibrary.i2c_stop();
    // No acknowledge polling: the fixed wait covers the device's write cycle.
    std::this_thread::sleep_for(std::chrono::milliseconds(JobSettings.WriteWait));
}

} // namespace

void EepromWriteBlock(uint32_t address, int count, const uint8_t* data)
{
    int done = 0;
    do {
        uint32_t pageAddress = address + static_cast<uint32_t>(done);
        int room = static_cast<int>(kEepromPageSize - (pageAddress & (kEepromPageSize - 1)));
        int n = count - done < room ? count - done : room;
        WritePage(pageAddress, n, data + done);
        done += n;
    } while (done < count);
}

void EepromReadBlock(uint32_t address, int count, uint8_t* buffer)
{
    SendAddress(address);
    I2cLibrary.i2c_start();
    I2cLibrary.i2c_write(DeviceSelect(address, true));
    int last = count > 0 ? count - 1 : 0;
    for (int i = 0; i < last; ++i)
        buffer[i] = static_cast<uint8_t>(I2cLibrary.i2c_read(0));
    buffer[last] = static_cast<uint8_t>(I2cLibrary.i2c_read(1));
    I2cLibrary.i2c_stop();
}
