// The command line of at24writer-cli, with the dialog's defaults and ranges.
#pragma once

#include <string>

struct SCliOptions {
    std::string HexFile;
    int nA0Pin = 0; // 0 "Low", 1 "High", as the dialog's radio groups
    int nA1Pin = 0;
    int nPort = 1; // COM1
    int nWriteWait = 5;
    int nRetryMax = 5;
    bool bVerbose = false;
    bool bListPorts = false;
    bool bHelp = false;
    bool bVersion = false;
};

// Fills options from argv. False with a one-line reason in error when the command line is not
// usable.
bool ParseCliOptions(int argc, const char* const* argv, SCliOptions& options, std::string& error);

extern const char* const kCliUsage;
