// Fault soak of the dialog: one dialog runs 25 jobs, each against an at24sim of its own with a fault from a seed
// (SOAK_SEED=N replays a run). Descriptors, threads and memory must stay steady, the UI thread must never stall.
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

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    uint32_t seed = qEnvironmentVariable("SOAK_SEED", QString::number(std::random_device()())).toUInt();
    std::cout << "soak seed " << seed << " (replay with SOAK_SEED=" << seed << ")" << std::endl;
    CMainDlg dlg;
    Open(dlg);
    // The UI thread's longest pause while a job runs, seen by a timer due every 10 ms.
    QElapsedTimer clock;
    qint64 longestPause = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { longestPause = std::max(longestPause, clock.restart()); });
    ticker.start(10); // it ticks only while a job runs, the one time the event loop does
    // Open descriptors, threads, and live heap in kB (0 under AddressSanitizer, whose LeakSanitizer watches it).
    auto usage = [] {
        auto count = [](const char* path) { return std::distance(std::filesystem::directory_iterator(path), {}); };
        struct mallinfo2 heap = ::mallinfo2();
        return std::array<long, 3> { count("/proc/self/fd"), count("/proc/self/task"),
            long(heap.uordblks + heap.hblkhd) / 1024 };
    };
    std::array<long, 3> warm {};
    int nFailed = 0;
    for (uint32_t i = 0; i < 25; ++i) {
        TempDir dir;
        SoakJob job(seed, i);
        ChildProcess sim;
        std::string link = dir.Path() + "/link";
        std::vector<std::string> command { SIM_PROGRAM, "--link", link, "--image", dir.Path() + "/eeprom.bin" };
        std::istringstream words(job.simArgs);
        command.insert(command.end(), std::istream_iterator<std::string>(words), {});
        bool bSimRan = !job.Emulated() || (sim.Start(command) && sim.WaitFor("ready "));
        qputenv("I2CADAPTER_COM1", QByteArray::fromStdString(link));
        dlg.GetDlgItem<QLineEdit>(IDC_HEXFILE)->setText(QString::fromStdString(dir.Write("job.hex", job.hex)));
        clock.start();
        longestPause = 0;
        Button(dlg, IDC_WRITE)->click();
        bool bEnded = QTest::qWaitFor(
            [&] { return !JobRunState.WorkerThread && LogLines(dlg).join("").contains("Processing time"); }, 30000);
        if (!bEnded) {
            std::cout << "job " << i + 1 << " still running after 30 s" << std::endl;
            return 1;
        }
        ReleaseWorker();
        sim.Signal(SIGTERM);
        bSimRan = bSimRan && (!job.Emulated() || sim.Wait(5000) == 0);
        int status = JobRunState.Result.load() == JobResult::Success ? 0 : 1;
        auto wrong = job.Check(LogLines(dlg).join('\n').toStdString() + "\n", status, dir.Path() + "/eeprom.bin");
        if (!bSimRan)
            wrong.push_back("at24sim failed: " + sim.Err());
        if (longestPause > 100)
            wrong.push_back("the UI thread paused " + std::to_string(longestPause) + " ms");
        for (const std::string& text : wrong)
            std::cout << "job " << i + 1 << " (" << job.fault.name << ", status " << status << "): " << text << "\n";
        nFailed += !wrong.empty();
        if (i == 4) // the baseline, once caches and lazy allocations have settled
            warm = usage();
    }
    std::array<long, 3> last = usage();
    std::cout << nFailed << " of 25 jobs failed (seed " << seed << "); descriptors " << warm[0] << " -> " << last[0]
              << ", threads " << warm[1] << " -> " << last[1] << ", heap " << warm[2] << " -> " << last[2] << " kB"
              << std::endl;
    return nFailed == 0 && last[0] <= warm[0] && last[1] <= warm[1] && last[2] <= warm[2] + 1024 ? 0 : 1;
}
