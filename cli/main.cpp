// at24writer-cli: writes an Intel HEX file into the EEPROM from the command line, with the same
// engine, texts and outcome as the dialog.
#include "CliOptions.h"
#include "ConsoleDisplay.h"
#include "I2cLibrary.h"
#include "JobRunner.h"
#include "JobSettings.h"
#include "WriteJob.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNoLibrary = 3;
constexpr int kPortCount = 20;

// The stop signals, blocked in every thread and read by the main thread alone: no handler runs
// at all, and none of the adapter's waits is interrupted.
int BlockStopSignals()
{
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP); // the terminal went away: stop as cleanly as on Ctrl-C
    if (::pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr) != 0)
        return -1;
    // A reader that went away (| head) must not kill the job halfway through the EEPROM.
    std::signal(SIGPIPE, SIG_IGN);
    return ::signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
}

int ListPorts()
{
    if (!I2cLibrary.i2c_port_name) {
        std::fprintf(stderr, "at24writer-cli: the adapter library cannot list ports (it has no i2c_port_name)\n");
        return kExitFailed;
    }
    int nFound = 0;
    for (int port = 1; port <= kPortCount; ++port) {
        const char* pszName = I2cLibrary.i2c_port_name(static_cast<unsigned short>(port));
        if (pszName && *pszName) {
            std::printf("COM%d %s\n", port, pszName);
            ++nFound;
        }
    }
    if (nFound == 0)
        std::fprintf(stderr, "at24writer-cli: no serial port found\n");
    return 0;
}

// A scheduler may start the program with standard descriptors closed; the next file opened would
// take their place, and the log would be written into it.
bool OpenMissingStandardDescriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) >= 0 || errno != EBADF)
            continue;
        int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened != fd) {
            if (opened >= 0)
                ::close(opened);
            return false;
        }
    }
    return true;
}

// The data bytes a write goes through, for its progress; 0 when the file cannot say.
uint32_t DataBytes(const SCliOptions& options)
{
    HexRecordReader reader;
    std::string reason;
    if (!(options.bBinary ? reader.OpenBinary(options.HexFile, options.offset, reason)
                          : reader.Open(options.HexFile, reason)))
        return 0;
    uint32_t total = 0;
    for (HexRecordReader::Item item;
         (item = reader.Next()) == HexRecordReader::Item::Data || item == HexRecordReader::Item::Other;)
        total += item == HexRecordReader::Item::Data ? static_cast<uint32_t>(reader.Count()) : 0;
    return total;
}

// A binary image that does not fit from its offset is refused before anything is written.
bool BinaryFits(const SCliOptions& options)
{
    struct stat st { };
    if (!options.bBinary || options.job == SCliOptions::Job::Read || ::stat(options.HexFile.c_str(), &st) != 0
        || !S_ISREG(st.st_mode) || st.st_size <= 0x20000 - static_cast<off_t>(options.offset))
        return true;
    std::fprintf(stderr, "at24writer-cli: %s: %lld bytes from 0x%05X do not fit the EEPROM's 131072\n",
        options.HexFile.c_str(), static_cast<long long>(st.st_size), options.offset);
    return false;
}

int RunJob(const SCliOptions& options)
{
    JobSettings.HexFile = options.HexFile;
    JobSettings.AddressMask = AddressMaskFromPins(options.nA0Pin, options.nA1Pin);
    JobSettings.WriteWait = static_cast<uint8_t>(options.nWriteWait);
    JobSettings.RetryMax = static_cast<uint8_t>(options.nRetryMax);
    JobSettings.iSerialPort = options.nPort;
    JobOptions.bBinary = options.bBinary;
    JobOptions.Offset = options.offset;
    JobOptions.Length = options.length;
    JobOptions.RecordSize = options.recordSize;
    using Job = SCliOptions::Job;
    int (*routine)() = options.job == Job::Read ? ReadJob
        : options.job == Job::Verify            ? VerifyJob
        : options.bPages                        ? PageWriteJob
                                                : WriteJob;

    // Before the worker starts, so that it inherits the mask.
    int signalFd = BlockStopSignals();
    if (signalFd < 0) {
        std::perror("at24writer-cli: signal handling");
        return kExitFailed;
    }
    ConsoleDisplay display(options.bVerbose, options.job == Job::Write ? DataBytes(options) : 0);
    SetJobDisplay(&display);
    if (!StartWriteJob(routine)) {
        SetJobDisplay(nullptr);
        std::fprintf(stderr, "at24writer-cli: the job could not be started\n");
        return kExitFailed;
    }

    int nSignals = 0;
    while (JobRunState.WorkerThread.load()) {
        struct pollfd signals {
            signalFd, POLLIN, 0
        };
        ::poll(&signals, 1, 10); // also the pace at which the job's end is noticed
        struct signalfd_siginfo info;
        while (::read(signalFd, &info, sizeof info) == sizeof info) {
            if (++nSignals >= 2) {
                display.ClearProgress();
                EndProcess(128 + static_cast<int>(info.ssi_signo));
            }
        }
        // Also for a signal that came before the job had started, since starting clears StopRequest.
        if (nSignals == 1)
            JobRunState.StopRequest.store(1);
    }
    ReleaseWorker();
    SetJobDisplay(nullptr);
    display.ClearProgress();

    JobResult result = JobRunState.Result.load();
    // A link that failed mid-job shows in the log only as a record that did not verify.
    if (!JobRunState.Reason.empty())
        std::fprintf(stderr, "at24writer-cli: %s\n", JobRunState.Reason.c_str());
    if (result == JobResult::Success && options.job == Job::Write && display.RecordsShown() == 0) {
        // A binary file or the wrong file reads as text without records; the log alone looks like success.
        std::fprintf(
            stderr, "at24writer-cli: %s holds no data records; nothing was written\n", options.HexFile.c_str());
    }
    return result == JobResult::Success ? 0 : kExitFailed;
}

} // namespace

int main(int argc, char** argv)
{
    if (!OpenMissingStandardDescriptors())
        return kExitFailed;
    SCliOptions options;
    std::string error;
    if (!ParseCliOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "at24writer-cli: %s\n%s", error.c_str(), kCliUsage);
        return kExitUsage;
    }
    if (options.bHelp) {
        std::fputs(kCliUsage, stdout);
        return 0;
    }
    if (options.bVersion) {
        std::puts("at24writer-cli " AT24WRITER_VERSION);
        return 0;
    }
    if (!BinaryFits(options))
        return kExitFailed;
    if (!LoadI2cLibrary()) {
        std::fprintf(stderr, "DLL Error(i2c.dll)\nat24writer-cli: %s\n", I2cLibraryLoadFailure());
        return kExitNoLibrary;
    }
    if (options.bListPorts)
        return ListPorts();
    return RunJob(options);
}
