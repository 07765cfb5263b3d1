#include "JobRunner.h"
#include "JobSettings.h"
#include "MainApp.h"

int main(int argc, char** argv)
{
    CMainApp theApp(argc, argv);
    theApp.InitInstance();
    // A job still running was abandoned with the dialog (Exit, Enter, Escape, the close box): it
    // ends with the process, without its closing steps.
    if (JobRunState.WorkerThread.load())
        EndProcess(0);
    ReleaseWorker();
    return 0;
}
