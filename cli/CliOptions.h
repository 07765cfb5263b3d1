// The command line of at24writer-cli, with the dialog's defaults and ranges.
#pragma once

#include <cstdint>
#include <string>

struct SCliOptions {
    enum class Job { Write, Read, Verify };
    Job job = Job::Write;
    std::string HexFile; // the file of the job, whatever its format
    int nA0Pin = 0; // 0 "Low", 1 "High", as the dialog's radio groups
    int nA1Pin = 0;
    int nPort = 1; // COM1
    int nWriteWait = 5;
    int nRetryMax = 5;
    bool bBinary = false; // the file is a raw binary image
    bool bHex = false; // --hex: Intel HEX whatever the name
    bool bOffsetGiven = false;
    uint32_t offset = 0;
    uint32_t length = 0; // 0: to the end of the EEPROM
    int recordSize = 16;
    bool bPages = false; // write a page at a time, with acknowledge polling
    bool bVerbose = false;
    bool bListPorts = false;
    bool bHelp = false;
    bool bVersion = false;
    int nFiles = 0; // files named, by job options and bare
};

// Fills options from argv. False with a one-line reason in error when the command line is not
// usable.
bool ParseCliOptions(int argc, const char* const* argv, SCliOptions& options, std::string& error);

extern const char* const kCliUsage;
