#include "CliOptions.h"

#include <cctype>
#include <cstring>
#include <strings.h>

const char* const kCliUsage
    = "Usage: at24writer-cli [options] FILE              write FILE into the EEPROM\n"
      "       at24writer-cli [options] --read FILE       read the EEPROM into FILE\n"
      "       at24writer-cli [options] --verify FILE     compare FILE with the EEPROM\n"
      "       at24writer-cli --list-ports\n"
      "Writes an Intel HEX file (or a raw binary image) into an AT24C1024-family EEPROM through the I2C\n"
      "adapter, reading every record back; reads the EEPROM into a file; or compares a file with it.\n"
      "The log goes to stdout; on a terminal, stderr shows the progress.\n"
      "  -w, --write FILE    write FILE (the default job)\n"
      "  -r, --read FILE     read the EEPROM into FILE: raw binary when its name ends in .bin,\n"
      "                      Intel HEX otherwise; it appears only once it is complete\n"
      "  --verify FILE       compare FILE with the EEPROM without writing; exit 0 when all records match\n"
      "  --binary            FILE is a raw binary image\n"
      "  --hex               FILE is Intel HEX, whatever its name\n"
      "  --offset ADDR       where a binary image starts in the EEPROM, or where a read starts (default 0)\n"
      "  --length N          bytes to read (default: to the end of the EEPROM)\n"
      "  --record-size N     data bytes per record of a HEX file a read writes: 16 (default) or 32\n"
      "  --pages             write a page at a time: the file's bytes in each 256-byte page in one page\n"
      "                      write, acknowledge polling for at most the write wait, one read-back per page\n"
      "  --port N            serial port COM1..COM20: 1 to 20, or COM<N> (default 1)\n"
      "  --a0 low|high       the \"A0 (A1)\" address pin of the EEPROM (default low)\n"
      "  --a1 low|high       the \"A1 (A2)\" address pin of the EEPROM (default low)\n"
      "  --wait MS           write wait after each page write, 5 to 100 ms (default 5)\n"
      "  --attempts N        attempts per record (for a read, per chunk), 5 to 20 (default 5)\n"
      "  -v, --verbose       show the record being written on stderr\n"
      "  --list-ports        show the serial device each COM<N> stands for\n"
      "  --help              show this text\n"
      "  --version           show the program's version\n"
      "ADDR and N are decimal or 0x-prefixed hexadecimal.\n"
      "Ctrl-C stops the job before its next record; a second Ctrl-C ends the program at once.\n"
      "Exit status: 0 done (written and verified, read, or all records match), 1 the job failed,\n"
      "found differences or was stopped, 2 usage error, 3 the adapter library could not be loaded.\n";

namespace {

constexpr uint32_t kEepromBytes = 0x20000;
constexpr const char* kFileName = "a file name";

// Plain decimal only: no sign, no blanks, no suffix, so that "5ms" or "-3" is refused.
bool ParseNumber(const char* pszText, int nLow, int nHigh, int& value)
{
    if (!*pszText || std::strlen(pszText) > 3)
        return false;
    int n = 0;
    for (const char* p = pszText; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        n = n * 10 + (*p - '0');
    }
    if (n < nLow || n > nHigh)
        return false;
    value = n;
    return true;
}

bool ParsePort(const char* pszText, int& port)
{
    if (::strncasecmp(pszText, "COM", 3) == 0)
        pszText += 3;
    return ParseNumber(pszText, 1, 20, port);
}

// An EEPROM address or size: decimal or 0x-prefixed hexadecimal, at most the EEPROM's size.
bool ParseAddress(const char* pszText, uint32_t& value)
{
    int base = std::strncmp(pszText, "0x", 2) == 0 || std::strncmp(pszText, "0X", 2) == 0 ? 16 : 10;
    const char* pszDigits = pszText + (base == 16 ? 2 : 0);
    if (!*pszDigits || std::strlen(pszDigits) > 6)
        return false;
    uint32_t n = 0;
    for (const char* p = pszDigits; *p; ++p) {
        int digit = *p >= '0' && *p <= '9'                                ? *p - '0'
            : base == 16 && std::isxdigit(static_cast<unsigned char>(*p)) ? (*p | 0x20) - 'a' + 10
                                                                          : -1;
        if (digit < 0)
            return false;
        n = n * static_cast<uint32_t>(base) + static_cast<uint32_t>(digit);
    }
    if (n > kEepromBytes)
        return false;
    value = n;
    return true;
}

bool ParsePin(const char* pszText, int& pin)
{
    if (::strcasecmp(pszText, "low") == 0)
        pin = 0;
    else if (::strcasecmp(pszText, "high") == 0)
        pin = 1;
    else
        return false;
    return true;
}

// Options that take a value: what they accept, for the error message, and where it goes.
struct ValueOption {
    const char* pszName;
    const char* pszAccepts;
    bool (*parse)(const char*, SCliOptions&);
};

// Each job option names its file; giving two, or one and a bare FILE, is a usage error.
bool SetJob(SCliOptions& options, SCliOptions::Job job, const char* pszFile)
{
    options.job = job;
    options.HexFile = pszFile;
    ++options.nFiles;
    return *pszFile != '\0';
}

const ValueOption kValueOptions[] = {
    { "--write", kFileName, [](const char* v, SCliOptions& o) { return SetJob(o, SCliOptions::Job::Write, v); } },
    { "--read", kFileName, [](const char* v, SCliOptions& o) { return SetJob(o, SCliOptions::Job::Read, v); } },
    { "--verify", kFileName, [](const char* v, SCliOptions& o) { return SetJob(o, SCliOptions::Job::Verify, v); } },
    { "--offset", "an address from 0 to 0x1FFFF",
        [](const char* v, SCliOptions& o) {
            o.bOffsetGiven = true;
            return ParseAddress(v, o.offset) && o.offset < kEepromBytes;
        } },
    { "--length", "1 to 131072",
        [](const char* v, SCliOptions& o) { return ParseAddress(v, o.length) && o.length > 0; } },
    { "--record-size", "16 or 32",
        [](const char* v, SCliOptions& o) { return ParseNumber(v, 16, 32, o.recordSize) && o.recordSize % 16 == 0; } },
    { "--port", "1 to 20 or COM1 to COM20", [](const char* v, SCliOptions& o) { return ParsePort(v, o.nPort); } },
    { "--a0", "low or high", [](const char* v, SCliOptions& o) { return ParsePin(v, o.nA0Pin); } },
    { "--a1", "low or high", [](const char* v, SCliOptions& o) { return ParsePin(v, o.nA1Pin); } },
    { "--wait", "5 to 100", [](const char* v, SCliOptions& o) { return ParseNumber(v, 5, 100, o.nWriteWait); } },
    { "--attempts", "5 to 20", [](const char* v, SCliOptions& o) { return ParseNumber(v, 5, 20, o.nRetryMax); } },
};

// The short forms of options that take a value.
const char* LongName(const std::string& arg)
{
    return arg == "-w" ? "--write" : arg == "-r" ? "--read" : nullptr;
}

const ValueOption* FindValueOption(const std::string& name)
{
    for (const ValueOption& option : kValueOptions)
        if (name == option.pszName)
            return &option;
    return nullptr;
}

// What the options mean together; "" when they fit.
std::string CheckCombination(SCliOptions& options)
{
    using Job = SCliOptions::Job;
    if (options.bListPorts)
        return options.nFiles > 0 ? "--list-ports takes no FILE" : "";
    if (options.nFiles != 1)
        return options.nFiles == 0 ? "no HEX file given" : "more than one file given";
    if (options.HexFile.empty())
        return "Specify the HEX file";
    if (options.bBinary && options.bHex)
        return "--binary and --hex exclude each other";
    std::string name = options.HexFile;
    if (options.job == Job::Read && !options.bHex && name.size() > 4 && name.compare(name.size() - 4, 4, ".bin") == 0)
        options.bBinary = true;
    if (options.bOffsetGiven && !options.bBinary && options.job != Job::Read)
        return "--offset places a binary image (--binary) or starts a read";
    if (options.bPages && options.job != Job::Write)
        return "--pages is for writing";
    if (options.length && options.job != Job::Read)
        return "--length is for --read";
    if (options.recordSize != 16 && (options.job != Job::Read || options.bBinary))
        return "--record-size is for a HEX file --read writes";
    if (options.job == Job::Read) {
        if (!options.length)
            options.length = kEepromBytes - options.offset;
        if (options.length > kEepromBytes - options.offset)
            return "--offset and --length reach beyond the EEPROM's 131072 bytes";
    }
    return "";
}

} // namespace

bool ParseCliOptions(int argc, const char* const* argv, SCliOptions& options, std::string& error)
{
    options = SCliOptions();
    bool bOptionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (bOptionsEnd || arg.size() < 2 || arg[0] != '-') {
            options.HexFile = arg;
            ++options.nFiles;
            continue;
        }
        if (arg == "--") {
            bOptionsEnd = true;
        } else if (arg == "-v" || arg == "--verbose") {
            options.bVerbose = true;
        } else if (arg == "--pages") {
            options.bPages = true;
        } else if (arg == "--binary") {
            options.bBinary = true;
        } else if (arg == "--hex") {
            options.bHex = true;
        } else if (arg == "--list-ports") {
            options.bListPorts = true;
        } else if (arg == "-h" || arg == "--help") {
            options.bHelp = true;
        } else if (arg == "--version") {
            options.bVersion = true;
        } else {
            size_t equals = arg.find('=');
            std::string name = LongName(arg) ? LongName(arg) : arg.substr(0, equals);
            const ValueOption* option = FindValueOption(name);
            if (!option) {
                error = "unknown option " + arg;
                return false;
            }
            std::string value;
            bool bNext = equals == std::string::npos || LongName(arg);
            if (!bNext)
                value = arg.substr(equals + 1);
            else if (i + 1 < argc)
                value = argv[++i];
            else {
                error = name + " needs a value: " + option->pszAccepts;
                return false;
            }
            // "--verify --binary x" means a file named x, not one named "--binary".
            bool bOptionAsFile = bNext && value.size() > 1 && value[0] == '-' && option->pszAccepts == kFileName;
            if (bOptionAsFile || !option->parse(value.c_str(), options)) {
                error = name + " takes " + option->pszAccepts + ", not \"" + value + "\"";
                return false;
            }
        }
    }
    if (options.bHelp || options.bVersion)
        return true;
    error = CheckCombination(options);
    return error.empty();
}
