// The entry points of libi2cadapter.so: a Bus Pirate in binary raw-I2C mode on a serial port.
// Calls come from one thread at a time; connect and disconnect bracket each job.
#include "AdapterLink.h"
#include "BusPirateBaud.h"
#include "BusPirateConnect.h"
#include "I2cTransfer.h"
#include "PortNames.h"
#include "i2c_adapter.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#define I2CADAPTER_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

AdapterLink g_link;
I2cTransfer g_transfer;
AdapterVersion g_version;
std::string g_lastError;

bool SpeedFromEnvironment(BusSpeed& speed, std::string& reason)
{
    const char* pszValue = std::getenv("I2CADAPTER_SPEED");
    speed = kBusSpeeds[3];
    if (!pszValue || !*pszValue)
        return true;
    for (const BusSpeed& candidate : kBusSpeeds) {
        if (std::strcmp(pszValue, candidate.pszKHz) == 0) {
            speed = candidate;
            return true;
        }
    }
    reason = std::string("I2CADAPTER_SPEED=") + pszValue + ": choose 5, 50, 100 or 400 (kHz)";
    return false;
}

// The serial speed for a v3 that can take a faster one: 2 Mbaud unless I2CADAPTER_BAUD says otherwise.
bool BaudFromEnvironment(uint32_t& baud, std::string& reason)
{
    const char* pszValue = std::getenv("I2CADAPTER_BAUD");
    baud = kFastestBaud;
    if (!pszValue || !*pszValue)
        return true;
    for (uint32_t candidate : { kBootBaud, 1000000u, kFastestBaud }) {
        if (std::to_string(candidate) == pszValue) {
            baud = candidate;
            return true;
        }
    }
    reason = std::string("I2CADAPTER_BAUD=") + pszValue + ": choose 115200, 1000000 or 2000000";
    return false;
}

// Pipelining relies on the write-then-read command and on knowing how much input the adapter
// can take; an adapter whose banner did not tell runs byte by byte. A v4 and a HydraBus are USB
// devices, whose flow control takes any number of command bytes.
TransferMode ModeFor(const AdapterVersion& version, const BusSpeed& speed, uint32_t lineBaud)
{
    const char* pszPipeline = std::getenv("I2CADAPTER_PIPELINE");
    TransferMode mode;
    mode.bPipeline = !(pszPipeline && std::strcmp(pszPipeline, "0") == 0)
        && (((version.hardware == 3 || version.hardware == 4) && version.firmware >= 6) || version.bHydraBus);
    mode.bDeepInput = version.hardware == 4 || version.bHydraBus;
    mode.busByteUs = speed.byteUs;
    mode.lineByteUs = static_cast<int>((10000000 + lineBaud - 1) / lineBaud);
    return mode;
}

// Every operation may be the one that finds the link dead; its reason is the one to show.
void NoteLinkFailure()
{
    if (g_link.Dead())
        g_lastError = g_link.FailureReason();
}

int Noted(int result)
{
    NoteLinkFailure();
    return result;
}

} // namespace

I2CADAPTER_EXPORT unsigned char i2c_connect(unsigned short port)
{
    i2c_disconnect();
    g_lastError.clear();
    BusSpeed speed;
    uint32_t baud = 0;
    std::string reason;
    std::string path;
    if (!SpeedFromEnvironment(speed, reason) || !BaudFromEnvironment(baud, reason)
        || (path = ResolvePort(port, reason)).empty() || !g_link.Open(path, reason)) {
        g_lastError = reason;
        return 0;
    }
    ConnectNotes notes;
    bool bEntered = EnterI2cMode(g_link, speed, baud, notes, reason);
    // Said at once, whatever follows: the job's own log may well end in success.
    if (!notes.warning.empty())
        std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, notes.warning.c_str());
    if (!bEntered) {
        g_lastError = reason;
        g_link.Close();
        return 0;
    }
    g_version = notes.version;
    TransferMode mode = ModeFor(g_version, speed, g_link.Baud());
    g_link.Trace().Note(mode.bPipeline ? "pipelined transfers" : "byte-by-byte transfers");
    g_transfer.Begin(&g_link, mode);
    return 1;
}

I2CADAPTER_EXPORT void i2c_disconnect(void)
{
    if (!g_link.IsOpen())
        return;
    g_transfer.End();
    LeaveI2cMode(g_link, g_version);
    NoteLinkFailure();
    g_link.Close();
}

I2CADAPTER_EXPORT int i2c_start(void)
{
    return Noted(g_transfer.Start());
}

I2CADAPTER_EXPORT int i2c_stop(void)
{
    return Noted(g_transfer.Stop());
}

I2CADAPTER_EXPORT int i2c_write(int byte)
{
    return Noted(g_transfer.Write(static_cast<uint8_t>(byte & 0xFF)));
}

I2CADAPTER_EXPORT int i2c_read(int last)
{
    return Noted(g_transfer.Read(last != 0));
}

I2CADAPTER_EXPORT int i2c_read_block(unsigned char* buffer, int count, int last)
{
    return count < 0 ? I2C_READ_FAILED : Noted(g_transfer.ReadBlock(buffer, static_cast<size_t>(count), last != 0));
}

I2CADAPTER_EXPORT const char* i2c_last_error(void)
{
    return g_lastError.c_str();
}

I2CADAPTER_EXPORT const char* i2c_port_name(unsigned short port)
{
    static std::string s_path;
    std::string reason;
    s_path = ResolvePort(port, reason);
    return s_path.empty() ? nullptr : s_path.c_str();
}
