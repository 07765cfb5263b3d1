// Fault soak of the dialog: one dialog runs 25 jobs in a row, each against an at24sim of its own with
// a fault drawn from a seed (SOAK_SEED=N replays a run). Every job is checked against its file and
// the device image; across the run the process must not gather descriptors, threads or memory, and
// the UI thread must never pause long while a job runs.
#include "DialogDriver.h"
#include "Emulator.h"
#include "HexBuilder.h"
#include "JobRunner.h"
#include "JobSettings.h"
#include "MainDlg.h"
#include "SoakJob.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#ifdef __SANITIZE_ADDRESS__
// From the sanitizer's allocator interface, whose header g++ does not ship.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

constexpr int kJobSeconds = 30;
constexpr qint64 kLongestPauseMs = 100;
constexpr int kWarmJobs = 5; // jobs before the usage baseline: caches and lazy allocations settle

struct Usage {
    long fds = 0, threads = 0, memoryKb = 0;
};

long Entries(const char* pszFolder)
{
    auto entries = std::filesystem::directory_iterator(pszFolder);
    return static_cast<long>(std::distance(begin(entries), end(entries)));
}

#ifdef __SANITIZE_ADDRESS__
// Freed memory waits in the sanitizer's quarantine and keeps VmRSS growing; live blocks count here.
constexpr const char* kMemory = "heap";
constexpr long kMemorySlackKb = 1024;
long MemoryKb()
{
    return static_cast<long>(__sanitizer_get_current_allocated_bytes() / 1024);
}
#else
constexpr const char* kMemory = "VmRSS";
constexpr long kMemorySlackKb = 4096;
long MemoryKb()
{
    long kb = 0;
    std::ifstream status("/proc/self/status");
    for (std::string word; status >> word && word != "VmRSS:";) { }
    status >> kb;
    return kb;
}
#endif

Usage Sample()
{
    return { Entries("/proc/self/fd"), Entries("/proc/self/task"), MemoryKb() };
}

// How long this thread has waited for a CPU in all: on a loaded machine the scheduler, not the
// dialog, makes that part of a pause.
qint64 RunQueueMs()
{
    long long onCpuNs = 0, waitingNs = 0;
    std::ifstream("/proc/thread-self/schedstat") >> onCpuNs >> waitingNs;
    return waitingNs / 1000000;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

} // namespace

class DialogSoakTest : public QObject {
    Q_OBJECT

private slots:
    void soak();
};

void DialogSoakTest::soak()
{
    uint32_t seed
        = qEnvironmentVariableIsSet("SOAK_SEED") ? qEnvironmentVariable("SOAK_SEED").toUInt() : std::random_device()();
    qInfo("soak seed %u (replay with SOAK_SEED=%u)", seed, seed);
    qputenv("AT24WRITER_I2C_LIBRARY", I2CADAPTER_LIBRARY);
    CMainDlg dlg;
    QVERIFY(Open(dlg));

    // The UI thread's longest pause while a job runs, seen by a timer that should tick every 10 ms,
    // less the time the thread waited for a CPU meanwhile.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0, lastQueued = 0, longestGap = 0, longestPause = 0;
    bool bJobRunning = false;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    connect(&ticker, &QTimer::timeout, [&] {
        qint64 now = clock.elapsed(), queued = RunQueueMs();
        if (bJobRunning) {
            longestGap = std::max(longestGap, now - lastTick);
            longestPause = std::max(longestPause, now - lastTick - (queued - lastQueued));
        }
        lastTick = now;
        lastQueued = queued;
    });
    ticker.start(10);

    Usage warm;
    int nFailedJobs = 0;
    for (int i = 0; i < kSoakJobs; ++i) {
        TempDir dir;
        SoakJob job = PlanSoakJob(seed, i);
        std::string hex = WriteSoakFiles(job, dir.Path());
        QVERIFY2(!hex.empty(), "objcopy failed");
        Emulator sim;
        std::string com1 = dir.Path() + "/nothing-here";
        if (job.bEmulator) {
            QVERIFY2(sim.Start(dir.Path(), job.simArgs), sim.Output().c_str());
            com1 = sim.Link();
        }
        qputenv("I2CADAPTER_COM1", QByteArray::fromStdString(com1));

        SetItemText(dlg, IDC_HEXFILE, QString::fromStdString(hex));
        QElapsedTimer took;
        took.start();
        longestGap = longestPause = 0;
        lastTick = clock.elapsed();
        lastQueued = RunQueueMs();
        bJobRunning = true;
        Button(dlg, IDC_WRITE)->click();
        bool bEnded = QTest::qWaitFor(
            [&] {
                QStringList log = LogLines(dlg);
                return !JobRunState.WorkerThread && !log.isEmpty() && log.last().startsWith("Processing time");
            },
            kJobSeconds * 1000);
        bJobRunning = false;
        QVERIFY2(bEnded, qPrintable(QString("job %1 still running after %2 s").arg(i + 1).arg(kJobSeconds)));
        ReleaseWorker();

        std::vector<std::string> log;
        for (const QString& line : LogLines(dlg))
            log.push_back(line.toStdString());
        int status = JobRunState.Result.load() == JobResult::Success ? 0 : 1;
        std::vector<uint8_t> image;
        std::vector<std::string> wrong;
        if (job.bEmulator) {
            if (int simStatus = sim.Stop(); simStatus != 0)
                wrong.push_back("at24sim ended with status " + std::to_string(simStatus) + ": " + sim.Output());
            image = sim.Image();
        }
        std::vector<std::string> found = CheckSoakJob(job, ReadFile(hex), status, log, image);
        wrong.insert(wrong.end(), found.begin(), found.end());
        if (i + 1 == kWarmJobs)
            warm = Sample();
        Usage now = Sample();
        qInfo(
            "job %d/%d: %s status %d in %lld ms, UI pause %lld ms (%lld with CPU waits); fds %ld threads %ld %s %ld kB",
            i + 1, kSoakJobs, job.fault.c_str(), status, took.elapsed(), longestPause, longestGap, now.fds, now.threads,
            kMemory, now.memoryKb);
        if (longestPause > kLongestPauseMs)
            wrong.push_back("the UI thread paused " + std::to_string(longestPause) + " ms");
        if (!wrong.empty()) {
            ++nFailedJobs;
            for (const std::string& text : wrong)
                qWarning("  FAILED: %s", text.c_str());
            for (const std::string& line : log)
                qWarning("  log: %s", line.c_str());
        }
    }
    Usage last = Sample();
    QStringList wrongRun;
    if (nFailedJobs > 0)
        wrongRun << QString("%1 of %2 jobs failed").arg(nFailedJobs).arg(kSoakJobs);
    if (last.fds > warm.fds)
        wrongRun << QString("open descriptors %1 -> %2").arg(warm.fds).arg(last.fds);
    if (last.threads > warm.threads)
        wrongRun << QString("threads %1 -> %2").arg(warm.threads).arg(last.threads);
    if (last.memoryKb - warm.memoryKb > kMemorySlackKb)
        wrongRun << QString("%1 %2 kB -> %3 kB").arg(kMemory).arg(warm.memoryKb).arg(last.memoryKb);
    QVERIFY2(wrongRun.isEmpty(), qPrintable(wrongRun.join("; ") + QString(" (seed %1)").arg(seed)));
}

QTEST_MAIN(DialogSoakTest)
#include "DialogSoakTest.moc"
