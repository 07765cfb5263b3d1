// at24sim as a child process on a pty of its own, with its link and image in a temporary folder and
// --stats, waited for until it has said its first line.
#pragma once

#include "ChildProcess.h"
#include "HexBuilder.h"

struct SimProcess : ChildProcess {
    explicit SimProcess(std::vector<std::string> args);
    ~SimProcess() { Signal(SIGKILL); } // before its folder goes
    // Ends the emulator with SIGTERM and returns all it printed; status is then its exit status.
    std::string Finish();

    TempDir dir;
    std::string link = dir.Path() + "/link";
    std::string image = dir.Path() + "/image";
    int status = kTimedOut;
};
