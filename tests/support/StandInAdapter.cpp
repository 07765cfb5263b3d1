#include "StandInAdapter.h"

#include "I2cLibrary.h"

#include <cstdio>
#include <utility>

namespace standin {
namespace {

    Bus g_bus;

    void Record(const char* pszCall, int value = -1)
    {
        char text[16];
        std::snprintf(text, sizeof text, value < 0 ? "%s" : "%s %02X", pszCall, value & 0xFF);
        if (g_bus.bRecord)
            g_bus.calls.push_back(text);
    }

    unsigned char Connect(unsigned short port)
    {
        g_bus.nLastPort = port;
        return g_bus.bConnectOk ? 1 : 0;
    }

    void Disconnect()
    {
        ++g_bus.nDisconnects;
    }

    bool LinkDead()
    {
        ++g_bus.nCalls;
        return g_bus.nCallsLeft > 0 ? (--g_bus.nCallsLeft, false) : g_bus.nCallsLeft == 0;
    }

    int Start()
    {
        Record("S");
        if (LinkDead())
            return 0;
        g_bus.device->Start();
        return 1;
    }

    int Stop()
    {
        Record("P");
        bool bRefused = std::exchange(g_bus.bRefused, false);
        if (LinkDead())
            return 0;
        g_bus.device->Stop();
        return g_bus.bDeferAcks && bRefused ? 0 : 1;
    }

    int Write(int byte)
    {
        Record("W", byte);
        if (LinkDead())
            return 1;
        bool bAck = g_bus.device->Write(static_cast<uint8_t>(byte));
        g_bus.bRefused |= !bAck;
        return bAck || g_bus.bDeferAcks ? 0 : 1;
    }

    int Read(int last)
    {
        Record(last ? "R1" : "R0");
        if (LinkDead())
            return I2C_READ_FAILED;
        int value = g_bus.device->Read(last == 0);
        return g_bus.bReadsFail ? I2C_READ_FAILED : value;
    }

} // namespace

Bus& Install()
{
    g_bus = Bus();
    g_bus.device = std::make_unique<At24Device>(g_bus.memory.data());
    g_bus.device->SetWriteCycleUs(0);
    I2cLibrary = { .i2c_start = Start,
        .i2c_stop = Stop,
        .i2c_write = Write,
        .i2c_read = Read,
        .i2c_connect = Connect,
        .i2c_disconnect = Disconnect };
    return g_bus;
}

} // namespace standin
