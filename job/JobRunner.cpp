#include "JobRunner.h"

#include "JobSettings.h"
#include "WriteJob.h"

#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {
std::thread g_worker;
}

bool StartWriteJob()
{
    ReleaseWorker();
    JobRunState.StopRequest.store(0);
    // The mark must be in place before the worker can clear it.
    JobRunState.WorkerThread.store(true);
    try {
        g_worker = std::thread(WriteJob);
    } catch (const std::system_error&) {
        JobRunState.WorkerThread.store(false);
        return false;
    }
    return true;
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
