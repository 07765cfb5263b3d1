#include "SimOptions.h"

#include <cerrno>
#include <cstdlib>
#include <iterator>

namespace {

constexpr uint64_t kMaxCount = UINT64_MAX - 1;
constexpr size_t kHelpColumn = 25;

bool ParseNumber(const std::string& text, uint64_t max, uint64_t& value)
{
    const char* pszText = text.c_str();
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

template <class T> bool ParseInto(const std::string& text, uint64_t min, uint64_t max, T& value)
{
    uint64_t number = 0;
    if (!ParseNumber(text, max, number) || number < min)
        return false;
    value = static_cast<T>(number);
    return true;
}

bool ParsePin(const std::string& text, uint8_t bit, SimOptions& options)
{
    if (text != "low" && text != "high")
        return false;
    options.pins = text == "high" ? (options.pins | bit) : (options.pins & ~bit);
    return true;
}

bool ParseHardware(const std::string& text, SimOptions& options)
{
    static const struct {
        const char* pszName;
        Hardware hardware;
    } kBoards[] = { { "v3", Hardware::V3 }, { "v4", Hardware::V4 }, { "hydrabus", Hardware::HydraBus } };
    for (const auto& board : kBoards) {
        if (text == board.pszName) {
            options.bus.hardware = board.hardware;
            return true;
        }
    }
    return false;
}

bool ParseFirmware(const std::string& text, SimOptions& options)
{
    for (size_t i = 0; i < std::size(kFirmwareBuilds); ++i) {
        if (text == kFirmwareBuilds[i].pszName) {
            options.bus.firmware = static_cast<Firmware>(i);
            options.firmwareGiven = true;
            return true;
        }
    }
    return false;
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
        return entry.state == AdapterState::WriteThenRead
            && ParseInto(text.substr(name.size() + 1), 1, BusPirateModel::kMaxTransfer, bus.pendingWrites);
    }
    return false;
}

bool ParseWriteCycle(const std::string& text, SimOptions& options)
{
    if (text == "never") {
        options.writeCycleUs = At24Device::kNeverReady;
        return true;
    }
    size_t dash = text.find('-');
    uint64_t low = 0, high = 0;
    if (!ParseInto(text.substr(0, dash), 0, 60000, low)
        || (dash != std::string::npos && (!ParseInto(text.substr(dash + 1), low, 60000, high))))
        return false;
    options.writeCycleUs = low * 1000;
    options.writeCycleMaxUs = high * 1000;
    return true;
}

bool ParseFault(const std::string& text, bool bStuck, SimOptions& options)
{
    size_t colon = text.find(':');
    uint64_t address = 0;
    uint64_t count = 1;
    if (!ParseNumber(text.substr(0, colon), At24Device::kSize - 1, address))
        return false;
    if (colon != std::string::npos && (bStuck || !ParseInto(text.substr(colon + 1), 1, 1000000, count)))
        return false;
    options.faults.push_back({ static_cast<uint32_t>(address), bStuck ? -1 : static_cast<int>(count) });
    return true;
}

// One entry per option: what the parser takes and what --help says. Without an argument an option
// is a flag, and its parse function gets "".
struct SimOption {
    const char* pszName;
    const char* pszArgument;
    const char* pszHelp; // lines after the first are indented under it
    bool (*parse)(const std::string& value, SimOptions& options);
};

const SimOption kSimOptions[] = {
    { "--link", "PATH", "symlink to create to the pty; prints \"ready PATH\" when it can be opened",
        [](const std::string& v, SimOptions& o) { return !(o.linkPath = v).empty(); } },
    { "--image", "FILE", "the 131072-byte contents (created erased when missing)",
        [](const std::string& v, SimOptions& o) { return !(o.imagePath = v).empty(); } },
    { "--hardware", "v3|v4|hydrabus",
        "the board (default v3); a v4 and a HydraBus are USB: no serial speed, no overrun",
        [](const std::string& v, SimOptions& o) { return ParseHardware(v, o); } },
    { "--firmware", "BUILD", "the Bus Pirate's firmware build (default 6.3), as listed below",
        [](const std::string& v, SimOptions& o) { return ParseFirmware(v, o); } },
    { "--a0", "low|high", "device pin answering select bit 0x04",
        [](const std::string& v, SimOptions& o) { return ParsePin(v, 0x04, o); } },
    { "--a1", "low|high", "device pin answering select bit 0x08",
        [](const std::string& v, SimOptions& o) { return ParsePin(v, 0x08, o); } },
    { "--write-cycle-ms", "N|A-B|never",
        "internal write time (default 5); A-B: drawn anew for each page write;\n"
        "never: the first page write leaves the device busy for good",
        [](const std::string& v, SimOptions& o) { return ParseWriteCycle(v, o); } },
    { "--corrupt", "ADDR[:N]", "the first N (default 1) page writes covering ADDR store it wrong",
        [](const std::string& v, SimOptions& o) { return ParseFault(v, false, o); } },
    { "--stuck", "ADDR", "every page write covering ADDR stores it wrong",
        [](const std::string& v, SimOptions& o) { return ParseFault(v, true, o); } },
    { "--latency-us", "N", "reply latency per burst, as a USB serial bridge adds",
        [](const std::string& v, SimOptions& o) {
            bool bOk = ParseInto(v, 0, 10000000, o.bus.latencyNs);
            o.bus.latencyNs *= 1000;
            return bOk;
        } },
    { "--read-every-us", "N",
        "read the line at most every N us: writes closer together than that\narrive as one burst, as from a busy "
        "serial driver",
        [](const std::string& v, SimOptions& o) { return ParseInto(v, 0, 1000000, o.readEveryUs); } },
    { "--hangup-after", "N", "close the line after N received bytes",
        [](const std::string& v, SimOptions& o) { return ParseInto(v, 0, kMaxCount, o.bus.hangupAfter); } },
    { "--mute-after", "N", "stop answering after N received bytes",
        [](const std::string& v, SimOptions& o) { return ParseInto(v, 0, kMaxCount, o.bus.muteAfter); } },
    { "--rx-fifo", "N", "v3 receive FIFO depth; overrunning it hangs the adapter (0 = off)",
        [](const std::string& v, SimOptions& o) { return ParseInto(v, 0, 1 << 20, o.bus.rxFifo); } },
    { "--initial-baud", "N", "the v3's serial speed at start, as a program may have left it (default 115200)",
        [](const std::string& v, SimOptions& o) {
            return ParseInto(v, 300, BusPirateModel::kBaudClock, o.bus.initialBaud);
        } },
    { "--no-baud-change", nullptr, "the terminal has no 'b' command to change the serial speed (old firmware)",
        [](const std::string&, SimOptions& o) { return o.bus.noBaudChange = true; } },
    { "--no-pullups", nullptr,
        "nothing pulls the bus up (a Bus Pirate's Vpu open, a HydraBus without\nresistors): everything "
        "acknowledges, reads are 0x00",
        [](const std::string&, SimOptions& o) { return o.bus.noPullups = true; } },
    { "--external-vpu", nullptr, "a v4's Vpu is fed from outside: its pull-ups work on every build",
        [](const std::string&, SimOptions& o) { return o.bus.externalVpu = true; } },
    { "--bits-per-byte", "N", "bits per byte as a terminal user left them (\"0;N\"), 1 to 16 (default 8)",
        [](const std::string& v, SimOptions& o) { return ParseInto(v, 1, 16, o.bus.bitsPerByte); } },
    { "--no-device", nullptr, "no EEPROM on the bus: nothing acknowledges, reads are 0xFF",
        [](const std::string&, SimOptions& o) { return o.bus.noDevice = true; } },
    { "--initial-state", "S", "terminal, menu, bbio, i2c, sniffer, bulk-write, write-then-read[:N]",
        [](const std::string& v, SimOptions& o) { return ParseState(v, o.bus); } },
    { "--stats", nullptr, "print a statistics line on exit",
        [](const std::string&, SimOptions& o) { return o.printStats = true; } },
    { "--trace", "FILE", "log the commands to FILE",
        [](const std::string& v, SimOptions& o) { return !(o.tracePath = v).empty(); } },
    { "--help", nullptr, "show this text", [](const std::string&, SimOptions& o) { return o.showHelp = true; } },
    { "--version", nullptr, "show the program's version",
        [](const std::string&, SimOptions& o) { return o.showVersion = true; } },
};

} // namespace

bool ParseSimOptions(int argc, const char* const* argv, SimOptions& options, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i] == std::string("-h") ? "--help" : argv[i];
        const SimOption* pOption = nullptr;
        for (const SimOption& option : kSimOptions)
            pOption = name == option.pszName ? &option : pOption;
        if (!pOption) {
            error = name.rfind("--", 0) == 0 ? "unknown option " + name : "unexpected argument '" + name + "'";
            return false;
        }
        if (pOption->pszArgument && i + 1 >= argc) {
            error = name + " needs a value";
            return false;
        }
        std::string value = pOption->pszArgument ? argv[++i] : "";
        if (!pOption->parse(value, options)) {
            error = "bad value '" + value + "' for " + name;
            return false;
        }
        if (options.showHelp || options.showVersion)
            return true;
    }
    if (options.linkPath.empty()) {
        error = "--link PATH is required";
        return false;
    }
    if (options.bus.hardware == Hardware::HydraBus && (options.firmwareGiven || options.bus.bitsPerByte != 8)) {
        error = "--firmware and --bits-per-byte are a Bus Pirate's: a HydraBus runs its own firmware";
        return false;
    }
    return true;
}

std::string SimUsage()
{
    std::string text = "usage: at24sim --link PATH [options]\n"
                       "An emulated Bus Pirate or HydraBus (binary I2C mode) with an AT24C1024 EEPROM, on a "
                       "pseudo-terminal.\n";
    const std::string indent(kHelpColumn, ' ');
    for (const SimOption& option : kSimOptions) {
        std::string head = std::string("  ") + option.pszName + (option.pszArgument ? " " : "")
            + (option.pszArgument ? option.pszArgument : "");
        // A long head gets a line of its own.
        head = head.size() < kHelpColumn ? head + std::string(kHelpColumn - head.size(), ' ') : head + "\n" + indent;
        std::string help = option.pszHelp;
        for (size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1))
            help.insert(at + 1, indent);
        text += head + help + "\n";
    }
    text += "Firmware builds:\n";
    for (const FirmwareBuild& build : kFirmwareBuilds) {
        std::string head = std::string("  ") + build.pszName;
        head.resize(kHelpColumn, ' ');
        text += head + build.pszWhat + "\n";
    }
    text += "Numbers are decimal or 0x-prefixed hexadecimal. A v3 hears a client only while the client's end of\n"
            "the pty is set to the serial speed the v3 runs at (115200 after every reset; 'b' changes it).\n";
    return text;
}
