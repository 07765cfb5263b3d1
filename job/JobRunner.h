// The worker thread that runs a job.
#pragma once

// Clears StopRequest, sets the running mark and starts routine (WriteJob by default) on a new
// thread. False, with the mark cleared again, when no thread could be made.
bool StartWriteJob(int (*routine)() = nullptr);
// How the worker starts: nullptr, the default, starts a thread. A test may run the routine before the
// launcher returns, the earliest a worker can end.
using WorkerLauncher = void (*)(int (*routine)());
void SetWorkerLauncher(WorkerLauncher launcher);
// Joins the thread of a job that has ended. Call only while no job runs.
void ReleaseWorker();
// Ends the process at once. A running job is abandoned where it stands, without its closing
// steps; an ended one is joined first.
[[noreturn]] void EndProcess(int status);
