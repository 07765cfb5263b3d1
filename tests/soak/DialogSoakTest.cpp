// Fault soak of the dialog: one dialog runs 25 jobs in a row, each against an at24sim of its own with a
// fault drawn from a seed (SOAK_SEED=N replays a run) and checked by SoakJob. Across the run the process
// must not gather descriptors, threads or memory, and the UI thread must never stall while a job runs.
#include "ChildProcess.h"
#include "DialogDriver.h"
#include "JobRunner.h"
#include "JobSettings.h"
#include "SoakJob.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <iostream>
#include <malloc.h>
#include <sstream>

namespace {

// Open descriptors, threads, and live heap in kB (0 under AddressSanitizer, whose LeakSanitizer watches it then).
std::array<long, 3> Usage()
{
    auto count
        = [](const char* pszFolder) { return std::distance(std::filesystem::directory_iterator(pszFolder), {}); };
    struct mallinfo2 heap = ::mallinfo2();
    return { count("/proc/self/fd"), count("/proc/self/task"),
        static_cast<long>((heap.uordblks + heap.hblkhd) / 1024) };
}

// How long this thread has waited for a CPU in all.
qint64 RunQueueMs()
{
    long long onCpuNs = 0, waitingNs = 0;
    std::ifstream("/proc/thread-self/schedstat") >> onCpuNs >> waitingNs;
    return waitingNs / 1000000;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    uint32_t seed = qEnvironmentVariable("SOAK_SEED", QString::number(std::random_device()())).toUInt();
    std::cout << "soak seed " << seed << " (replay with SOAK_SEED=" << seed << ")" << std::endl;
    CMainDlg dlg;
    if (!Open(dlg))
        return 1;
    // The UI thread's longest pause while a job runs, seen by a timer due every 10 ms, less the time the thread
    // waited for a CPU meanwhile: on a loaded machine that part is the scheduler's.
    QElapsedTimer clock;
    qint64 queued = 0, longestPause = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        qint64 waited = RunQueueMs() - queued;
        queued += waited;
        longestPause = std::max(longestPause, clock.restart() - waited);
    });
    std::array<long, 3> warm {};
    int nFailed = 0;
    for (uint32_t i = 0; i < 25; ++i) {
        TempDir dir;
        SoakJob job(seed, i);
        ChildProcess sim;
        std::vector<std::string> simArgs { SIM_PROGRAM, "--link", dir.Path() + "/link", "--image",
            dir.Path() + "/eeprom.bin" };
        std::istringstream words(job.simArgs);
        simArgs.insert(simArgs.end(), std::istream_iterator<std::string>(words), {});
        bool bSimRan = !job.Emulated() || (sim.Start(simArgs) && sim.WaitFor("ready "));
        qputenv("I2CADAPTER_COM1", QByteArray::fromStdString(dir.Path() + "/link"));
        SetItemText(dlg, IDC_HEXFILE, QString::fromStdString(dir.Write("job.hex", job.hex)));
        clock.start();
        queued = RunQueueMs();
        longestPause = 0;
        ticker.start(10);
        Button(dlg, IDC_WRITE)->click();
        bool bEnded = QTest::qWaitFor(
            [&] { return !JobRunState.WorkerThread && LogLines(dlg).join("").contains("Processing time"); }, 30000);
        ticker.stop();
        if (!bEnded) {
            std::cout << "job " << i + 1 << " still running after 30 s" << std::endl;
            return 1;
        }
        ReleaseWorker();
        sim.Signal(SIGTERM);
        bSimRan = bSimRan && (!job.Emulated() || sim.Wait(5000) == 0);
        std::ifstream image(dir.Path() + "/eeprom.bin", std::ios::binary);
        int status = JobRunState.Result.load() == JobResult::Success ? 0 : 1;
        std::vector<std::string> wrong = job.Check(LogLines(dlg).join('\n').toStdString() + "\n", status,
            std::string(std::istreambuf_iterator<char>(image), {}));
        if (!bSimRan)
            wrong.push_back("at24sim failed: " + sim.Err());
        if (longestPause > 100)
            wrong.push_back("the UI thread paused " + std::to_string(longestPause) + " ms");
        for (const std::string& text : wrong)
            std::cout << "job " << i + 1 << " (" << job.fault.name << ", status " << status << "): " << text << "\n";
        nFailed += !wrong.empty();
        if (i == 4) // the baseline, once caches and lazy allocations have settled
            warm = Usage();
    }
    std::array<long, 3> last = Usage();
    std::cout << nFailed << " of 25 jobs failed (seed " << seed << "); descriptors " << warm[0] << " -> " << last[0]
              << ", threads " << warm[1] << " -> " << last[1] << ", heap " << warm[2] << " -> " << last[2] << " kB"
              << std::endl;
    return nFailed == 0 && last[0] <= warm[0] && last[1] <= warm[1] && last[2] <= warm[2] + 1024 ? 0 : 1;
}
