#include "SimProcess.h"

SimProcess::SimProcess(std::vector<std::string> args)
{
    args.insert(args.begin(), { AT24SIM, "--link", link, "--image", image, "--stats" });
    if (Start(args))
        WaitFor("\n");
}

std::string SimProcess::Finish()
{
    Signal(SIGTERM);
    status = Wait(5000);
    return Out();
}
