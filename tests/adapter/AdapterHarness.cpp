#include "AdapterHarness.h"

#include "EepromBlock.h"
#include "I2cLibrary.h"
#include "JobSettings.h"

#include <cstdlib>

ScopedEnv::~ScopedEnv()
{
    for (const auto& name : m_names)
        ::unsetenv(name.c_str());
}

void ScopedEnv::Set(const std::string& name, const std::string& value)
{
    ::setenv(name.c_str(), value.c_str(), 1);
    m_names.push_back(name);
}

bool ConnectTo(const SimProcess& sim, ScopedEnv& env, const std::string& pipeline)
{
    // The engine calls through the bound entries, as it does with the library it loads.
    I2cLibrary = { i2c_start, i2c_stop, i2c_write, i2c_read, i2c_connect, i2c_disconnect, i2c_last_error };
    env.Set("I2CADAPTER_COM1", sim.Link());
    env.Set("I2CADAPTER_PIPELINE", pipeline);
    return sim.Ready() && i2c_connect(1) != 0;
}

std::vector<uint8_t> Pattern(uint32_t address, int count)
{
    std::vector<uint8_t> data(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        data[static_cast<size_t>(i)] = static_cast<uint8_t>((address * 7 + static_cast<uint32_t>(i) * 13 + 1) & 0x7F);
    return data;
}

void WriteRecord(uint32_t address, const std::vector<uint8_t>& data, int writeWaitMs)
{
    JobSettings.WriteWait = static_cast<uint8_t>(writeWaitMs);
    EepromWriteBlock(address, static_cast<int>(data.size()), data.data());
}

std::vector<uint8_t> ReadRecord(uint32_t address, int count)
{
    std::vector<uint8_t> data(static_cast<size_t>(count > 0 ? count : 1));
    EepromReadBlock(address, count, data.data());
    data.resize(static_cast<size_t>(count));
    return data;
}
