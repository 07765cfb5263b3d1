#include "StandInAdapter.h"

#include "I2cLibrary.h"

#include <cstdio>

namespace standin {
namespace {

    Bus g_bus;

    void Record(const char* pszCall, int value = -1)
    {
        if (!g_bus.bRecord)
            return;
        char text[16];
        if (value < 0)
            std::snprintf(text, sizeof text, "%s", pszCall);
        else
            std::snprintf(text, sizeof text, "%s %02X", pszCall, value & 0xFF);
        g_bus.calls.push_back(text);
    }

    unsigned char Connect(unsigned short port)
    {
        ++g_bus.nConnects;
        g_bus.nLastPort = port;
        return g_bus.bConnectOk ? 1 : 0;
    }

    void Disconnect()
    {
        ++g_bus.nDisconnects;
    }

    int Start()
    {
        Record("S");
        g_bus.device->Start();
        return 1;
    }

    int Stop()
    {
        Record("P");
        g_bus.device->Stop();
        return 1;
    }

    int Write(int byte)
    {
        Record("W", byte);
        return g_bus.device->Write(static_cast<uint8_t>(byte)) ? 0 : 1;
    }

    int Read(int last)
    {
        Record(last ? "R1" : "R0");
        return g_bus.device->Read(last == 0);
    }

} // namespace

Bus& Install()
{
    g_bus = Bus();
    g_bus.device = std::make_unique<At24Device>(g_bus.memory.data());
    g_bus.device->SetWriteCycleUs(0);
    I2cLibrary.i2c_connect = Connect;
    I2cLibrary.i2c_disconnect = Disconnect;
    I2cLibrary.i2c_start = Start;
    I2cLibrary.i2c_stop = Stop;
    I2cLibrary.i2c_write = Write;
    I2cLibrary.i2c_read = Read;
    I2cLibrary.i2c_last_error = nullptr;
    return g_bus;
}

Bus& TheBus()
{
    return g_bus;
}

} // namespace standin
