#include "CliOptions.h"

#include <cstring>
#include <strings.h>

const char* const kCliUsage
    = "Usage: at24writer-cli [--port N] [--a0 low|high] [--a1 low|high] [--wait MS] [--attempts N] [-v] FILE\n"
      "       at24writer-cli --list-ports\n"
      "Writes the Intel HEX file FILE into an AT24C1024-family EEPROM through the I2C adapter,\n"
      "reading every record back; the write log goes to stdout.\n"
      "  --port N        serial port COM1..COM20: 1 to 20, or COM<N> (default 1)\n"
      "  --a0 low|high   the \"A0 (A1)\" address pin of the EEPROM (default low)\n"
      "  --a1 low|high   the \"A1 (A2)\" address pin of the EEPROM (default low)\n"
      "  --wait MS       write wait after each page write, 5 to 100 ms (default 5)\n"
      "  --attempts N    write-and-verify attempts per record, 5 to 20 (default 5)\n"
      "  -v, --verbose   show the record being written on stderr\n"
      "  --list-ports    show the serial device each COM<N> stands for\n"
      "  --help          show this text\n"
      "  --version       show the program's version\n"
      "Ctrl-C stops the job before its next line; a second Ctrl-C ends the program at once.\n"
      "Exit status: 0 written and verified, 1 the job failed or was stopped, 2 usage error,\n"
      "3 the adapter library could not be loaded.\n";

namespace {

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

const ValueOption kValueOptions[] = {
    { "--port", "1 to 20 or COM1 to COM20", [](const char* v, SCliOptions& o) { return ParsePort(v, o.nPort); } },
    { "--a0", "low or high", [](const char* v, SCliOptions& o) { return ParsePin(v, o.nA0Pin); } },
    { "--a1", "low or high", [](const char* v, SCliOptions& o) { return ParsePin(v, o.nA1Pin); } },
    { "--wait", "5 to 100", [](const char* v, SCliOptions& o) { return ParseNumber(v, 5, 100, o.nWriteWait); } },
    { "--attempts", "5 to 20", [](const char* v, SCliOptions& o) { return ParseNumber(v, 5, 20, o.nRetryMax); } },
};

const ValueOption* FindValueOption(const std::string& name)
{
    for (const ValueOption& option : kValueOptions)
        if (name == option.pszName)
            return &option;
    return nullptr;
}

} // namespace

bool ParseCliOptions(int argc, const char* const* argv, SCliOptions& options, std::string& error)
{
    options = SCliOptions();
    int nFiles = 0;
    bool bOptionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (bOptionsEnd || arg.size() < 2 || arg[0] != '-') {
            options.HexFile = arg;
            ++nFiles;
            continue;
        }
        if (arg == "--") {
            bOptionsEnd = true;
        } else if (arg == "-v" || arg == "--verbose") {
            options.bVerbose = true;
        } else if (arg == "--list-ports") {
            options.bListPorts = true;
        } else if (arg == "-h" || arg == "--help") {
            options.bHelp = true;
        } else if (arg == "--version") {
            options.bVersion = true;
        } else {
            size_t equals = arg.find('=');
            std::string name = arg.substr(0, equals);
            const ValueOption* option = FindValueOption(name);
            if (!option) {
                error = "unknown option " + arg;
                return false;
            }
            std::string value;
            if (equals != std::string::npos)
                value = arg.substr(equals + 1);
            else if (i + 1 < argc)
                value = argv[++i];
            else {
                error = name + " needs a value: " + option->pszAccepts;
                return false;
            }
            if (!option->parse(value.c_str(), options)) {
                error = name + " takes " + option->pszAccepts + ", not \"" + value + "\"";
                return false;
            }
        }
    }
    if (options.bHelp || options.bVersion)
        return true;
    if (options.bListPorts) {
        if (nFiles > 0)
            error = "--list-ports takes no FILE";
        return nFiles == 0;
    }
    if (nFiles != 1) {
        error = nFiles == 0 ? "no HEX file given" : "more than one HEX file given";
        return false;
    }
    if (options.HexFile.empty()) {
        error = "Specify the HEX file";
        return false;
    }
    return true;
}
