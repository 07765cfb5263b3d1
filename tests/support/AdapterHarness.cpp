#include "AdapterHarness.h"

#include "EepromBlock.h"
#include "I2cLibrary.h"
#include "JobSettings.h"

#include <cstdlib>

void Prepare(const std::string& link, const char* pipeline, const char* variable, const char* value)
{
    // The engine calls through the bound entries, as it does with the library it loads.
    I2cLibrary = { i2c_start, i2c_stop, i2c_write, i2c_read, i2c_connect, i2c_disconnect, i2c_last_error, i2c_port_name,
        i2c_read_block };
    JobSettings.WriteWait = 5;
    JobSettings.AddressMask = 0;
    for (const char* name : { "I2CADAPTER_COM1", "I2CADAPTER_COM20" })
        ::setenv(name, link.c_str(), 1);
    for (const char* name : { "I2CADAPTER_BAUD", "I2CADAPTER_SPEED", "I2CADAPTER_TRACE" })
        ::setenv(name, "", 1);
    ::setenv("I2CADAPTER_PIPELINE", pipeline, 1);
    if (variable)
        ::setenv(variable, value, 1);
}

std::vector<uint8_t> Pattern(uint32_t address, int count)
{
    std::vector<uint8_t> data(static_cast<size_t>(count));
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>((address * 7 + i * 13 + 1) & 0x7F);
    return data;
}

std::vector<uint8_t> ReadRecord(uint32_t address, int count, bool* pDone)
{
    std::vector<uint8_t> data(static_cast<size_t>(count) + 1); // a record of none still reads a byte
    bool bDone;
    (pDone ? *pDone : bDone) = EepromReadBlock(address, count, data.data());
    data.resize(static_cast<size_t>(count));
    return data;
}
