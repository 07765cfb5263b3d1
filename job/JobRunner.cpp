#include "JobRunner.h"

#include "JobSettings.h"
#include "WriteJob.h"

#include <cstdio>
#include <cstdlib>
#include <sys/prctl.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

std::thread g_worker;
WorkerLauncher g_launcher = nullptr;

void WorkerMain(int (*routine)())
{
    // The write wait after each page dominates a job; the default 50 us of timer slack on it
    // costs a second or so per chip.
    ::prctl(PR_SET_TIMERSLACK, 1UL);
    routine();
}

} // namespace

bool StartWriteJob(int (*routine)())
{
    ReleaseWorker();
    JobRunState.StopRequest.store(0);
    // The mark must be in place before the worker can clear it.
    JobRunState.WorkerThread.store(true);
    try {
        if (g_launcher)
            g_launcher(routine ? routine : WriteJob);
        else
            g_worker = std::thread(WorkerMain, routine ? routine : WriteJob);
    } catch (const std::system_error&) {
        JobRunState.WorkerThread.store(false);
        return false;
    }
    return true;
}

void SetWorkerLauncher(WorkerLauncher launcher)
{
    g_launcher = launcher;
}

void ReleaseWorker()
{
    if (g_worker.joinable())
        g_worker.join();
}

void EndProcess(int status)
{
    std::fflush(nullptr);
    if (JobRunState.WorkerThread.load())
        ::_exit(status); // the worker may be inside an adapter call; nothing of it is needed now
    ReleaseWorker();
    std::exit(status);
}
