// at24sim as a child process on a pty of its own, with its link and image in a temporary folder and
// --stats, waited for until it has said its first line.
#pragma once

#include "ChildProcess.h"
#include "HexBuilder.h"

struct SimProcess : ChildProcess {
    explicit SimProcess(std::vector<std::string> args)
    {
        args.insert(args.begin(), { AT24SIM, "--link", link, "--image", image, "--stats" });
        if (Start(args))
            WaitFor("\n");
    }
    ~SimProcess() { Signal(SIGKILL); } // before its folder goes

    // Ends the emulator with SIGTERM and returns all it printed; Wait() then gives its exit status.
    std::string Finish()
    {
        Signal(SIGTERM);
        Wait(5000);
        return Out();
    }

    TempDir dir;
    std::string link = dir.Path() + "/link";
    std::string image = dir.Path() + "/image";
};
