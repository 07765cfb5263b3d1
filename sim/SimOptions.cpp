#include "SimOptions.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

const char* const kSimUsage
    = "usage: at24sim --link PATH [options]\n"
      "An emulated Bus Pirate (binary I2C mode) with an AT24C1024 EEPROM, on a pseudo-terminal.\n"
      "  --link PATH            symlink to create to the pty; prints \"ready PATH\" when it can be opened\n"
      "  --image FILE           the 131072-byte contents (created erased when missing)\n"
      "  --a0 low|high          device pin answering select bit 0x04\n"
      "  --a1 low|high          device pin answering select bit 0x08\n"
      "  --write-cycle-ms N     internal write time (default 5)\n"
      "  --corrupt ADDR[:N]     the first N (default 1) page writes covering ADDR store it wrong\n"
      "  --stuck ADDR           every page write covering ADDR stores it wrong\n"
      "  --latency-us N         reply latency per burst, as a USB serial bridge adds\n"
      "  --read-every-us N      read the line at most every N us: writes closer together than that\n"
      "                         arrive as one burst, as from a busy serial driver\n"
      "  --hangup-after N       close the line after N received bytes\n"
      "  --mute-after N         stop answering after N received bytes\n"
      "  --rx-fifo N            v3 receive FIFO depth; overrunning it hangs the adapter (0 = off)\n"
      "  --firmware 6|7         write-then-read without/with automatic repeated start (default 7)\n"
      "  --hardware v3|v4       hardware version (default v3); a v4 is USB: no baud rate, no overrun\n"
      "  --initial-baud N       the v3's serial speed at start, as a program may have left it (default 115200)\n"
      "  --no-baud-change       the terminal has no 'b' command to change the serial speed (old firmware)\n"
      "  --no-pullups           the bus has no pull-ups: everything acknowledges, reads are 0x00\n"
      "  --no-device            no EEPROM on the bus: nothing acknowledges, reads are 0xFF\n"
      "  --initial-state S      terminal, menu, bbio, i2c, sniffer, bulk-write, write-then-read[:N]\n"
      "  --stats                print a statistics line on exit\n"
      "  --trace FILE           log the commands to FILE\n"
      "  --help                 show this text\n"
      "  --version              show the program's version\n"
      "Numbers are decimal or 0x-prefixed hexadecimal. A v3 hears a client only while the client's end of\n"
      "the pty is set to the serial speed the v3 runs at (115200 after every reset; 'b' changes it).\n";

namespace {

bool ParseNumber(const char* pszText, uint64_t max, uint64_t& value)
{
    int base = 10;
    if (pszText[0] == '0' && (pszText[1] == 'x' || pszText[1] == 'X')) {
        base = 16;
        pszText += 2;
    }
    if (!*pszText || *pszText == '-' || *pszText == '+' || *pszText == ' ')
        return false;
    char* pEnd = nullptr;
    errno = 0;
    unsigned long long parsed = std::strtoull(pszText, &pEnd, base);
    if (errno || *pEnd || parsed > max)
        return false;
    value = parsed;
    return true;
}

bool ParseLevel(const std::string& text, bool& bHigh)
{
    if (text != "low" && text != "high")
        return false;
    bHigh = text == "high";
    return true;
}

bool ParseState(const std::string& text, BusPirateConfig& bus)
{
    static const struct {
        const char* pszName;
        AdapterState state;
    } kStates[] = {
        { "terminal", AdapterState::Terminal },
        { "menu", AdapterState::Menu },
        { "bbio", AdapterState::Bbio },
        { "i2c", AdapterState::I2c },
        { "sniffer", AdapterState::Sniffer },
        { "bulk-write", AdapterState::BulkWrite },
        { "write-then-read", AdapterState::WriteThenRead },
    };
    std::string name = text.substr(0, text.find(':'));
    for (const auto& entry : kStates) {
        if (name != entry.pszName)
            continue;
        bus.initial = entry.state;
        if (name == text)
            return true;
        // Only a pending write-then-read takes a count: the write bytes it still expects.
        uint64_t count = 0;
        if (entry.state != AdapterState::WriteThenRead
            || !ParseNumber(text.c_str() + name.size() + 1, BusPirateModel::kMaxTransfer, count) || count == 0)
            return false;
        bus.pendingWrites = static_cast<uint32_t>(count);
        return true;
    }
    return false;
}

bool ParseFault(const std::string& text, bool bStuck, SimOptions& options)
{
    size_t colon = text.find(':');
    uint64_t address = 0;
    uint64_t count = 1;
    if (!ParseNumber(text.substr(0, colon).c_str(), At24Device::kSize - 1, address))
        return false;
    if (colon != std::string::npos && (bStuck || !ParseNumber(text.c_str() + colon + 1, 1000000, count) || !count))
        return false;
    options.faults.push_back({ static_cast<uint32_t>(address), bStuck ? -1 : static_cast<int>(count) });
    return true;
}

} // namespace

bool ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error)
{
    constexpr uint64_t kMaxCount = UINT64_MAX - 1;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            options.bHelp = true;
            return true;
        }
        if (name == "--version") {
            options.bVersion = true;
            return true;
        }
        if (name == "--stats") {
            options.bStats = true;
            continue;
        }
        if (name == "--no-pullups") {
            options.bus.bNoPullups = true;
            continue;
        }
        if (name == "--no-device") {
            options.bus.bNoDevice = true;
            continue;
        }
        if (name == "--no-baud-change") {
            options.bus.bNoBaudChange = true;
            continue;
        }
        if (name.rfind("--", 0) != 0) {
            error = "unexpected argument '" + name + "'";
            return false;
        }
        if (i + 1 >= argc) {
            error = name + " needs a value";
            return false;
        }
        std::string value = argv[++i];
        uint64_t number = 0;
        bool bHigh = false;
        bool bOk = true;
        if (name == "--link") {
            options.linkPath = value;
            bOk = !value.empty();
        } else if (name == "--image") {
            options.imagePath = value;
            bOk = !value.empty();
        } else if (name == "--trace") {
            options.tracePath = value;
            bOk = !value.empty();
        } else if (name == "--a0" || name == "--a1") {
            bOk = ParseLevel(value, bHigh);
            uint8_t bit = name == "--a0" ? 0x04 : 0x08;
            options.pins = bHigh ? (options.pins | bit) : (options.pins & ~bit);
        } else if (name == "--write-cycle-ms") {
            bOk = ParseNumber(value.c_str(), 60000, options.writeCycleMs);
        } else if (name == "--corrupt" || name == "--stuck") {
            bOk = ParseFault(value, name == "--stuck", options);
        } else if (name == "--latency-us") {
            bOk = ParseNumber(value.c_str(), 10000000, number);
            options.bus.latencyNs = number * 1000;
        } else if (name == "--read-every-us") {
            bOk = ParseNumber(value.c_str(), 1000000, options.readEveryUs);
        } else if (name == "--hangup-after") {
            bOk = ParseNumber(value.c_str(), kMaxCount, options.bus.hangupAfter);
        } else if (name == "--mute-after") {
            bOk = ParseNumber(value.c_str(), kMaxCount, options.bus.muteAfter);
        } else if (name == "--rx-fifo") {
            bOk = ParseNumber(value.c_str(), 1 << 20, number);
            options.bus.rxFifo = static_cast<uint32_t>(number);
        } else if (name == "--initial-baud") {
            bOk = ParseNumber(value.c_str(), BusPirateModel::kBaudClock, number) && number >= 300;
            options.bus.initialBaud = static_cast<uint32_t>(number);
        } else if (name == "--firmware") {
            bOk = value == "6" || value == "7";
            options.bus.firmware = value == "6" ? 6 : 7;
        } else if (name == "--hardware") {
            bOk = value == "v3" || value == "v4";
            options.bus.bV4 = value == "v4";
        } else if (name == "--initial-state") {
            bOk = ParseState(value, options.bus);
        } else {
            error = "unknown option " + name;
            return false;
        }
        if (!bOk) {
            error = "bad value '" + value + "' for " + name;
            return false;
        }
    }
    if (options.linkPath.empty()) {
        error = "--link PATH is required";
        return false;
    }
    return true;
}
