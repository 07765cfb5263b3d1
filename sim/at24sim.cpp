// at24sim: an emulated Bus Pirate with an AT24C1024 behind it, serving a pseudo-terminal, so that the
// writer, its adapter library and their tests run the whole road without hardware.
#include "BusPirateModel.h"
#include "ImageFile.h"
#include "PtyLink.h"
#include "SimOptions.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr uint64_t kAwakeNs = 200000;

uint64_t MonotonicNs()
{
    timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000000u + uint64_t(ts.tv_nsec);
}

// Writes what the master takes now; the rest waits for the next POLLOUT.
void Flush(int master, std::vector<uint8_t>& pending)
{
    size_t written = 0;
    while (written < pending.size()) {
        ssize_t n = ::write(master, pending.data() + written, pending.size() - written);
        if (n <= 0)
            break;
        written += static_cast<size_t>(n);
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(written));
}

class TraceFile {
public:
    ~TraceFile()
    {
        if (m_pFile)
            std::fclose(m_pFile);
    }
    bool Open(const std::string& path, uint64_t startNs)
    {
        m_startNs = startNs;
        m_pFile = path.empty() ? nullptr : std::fopen(path.c_str(), "w");
        return path.empty() || m_pFile;
    }
    void Line(uint64_t ns, const std::string& text)
    {
        if (!m_pFile)
            return;
        double ms = ns >= m_startNs ? double(ns - m_startNs) / 1e6 : 0.0;
        std::fprintf(m_pFile, "%12.3f ms  %s\n", ms, text.c_str());
        std::fflush(m_pFile);
    }
    void Bytes(uint64_t ns, const char* pszWhat, const uint8_t* pData, size_t count)
    {
        if (!m_pFile || count == 0)
            return;
        std::string text = pszWhat;
        char hex[4];
        for (size_t i = 0; i < count && i < 64; ++i) {
            std::snprintf(hex, sizeof hex, " %02X", pData[i]);
            text += hex;
        }
        if (count > 64)
            text += " ... (" + std::to_string(count) + " bytes)";
        Line(ns, text);
    }

private:
    std::FILE* m_pFile = nullptr;
    uint64_t m_startNs = 0;
};

int Serve(const SimOptions& options, int signalFd)
{
    ImageFile image;
    std::string error;
    if (!image.Open(options.imagePath, error)) {
        std::fprintf(stderr, "at24sim: %s\n", error.c_str());
        return 1;
    }
    BusPirateModel model(image.Data(), options.bus);
    model.Device().SetPins(options.pins);
    model.Device().SetWriteCycleUs(options.writeCycleUs, options.writeCycleMaxUs);
    for (const SimOptions::Fault& fault : options.faults) {
        if (fault.count < 0)
            model.Device().AddStuck(fault.address);
        else
            model.Device().AddCorrupt(fault.address, fault.count);
    }
    TraceFile trace;
    if (!trace.Open(options.tracePath, MonotonicNs())) {
        std::fprintf(stderr, "at24sim: cannot write %s\n", options.tracePath.c_str());
        return 1;
    }
    model.SetTraceSink([&trace](uint64_t ns, const std::string& text) { trace.Line(ns, text); });

    PtyLink link;
    if (!link.Create(options.linkPath, error)) {
        std::fprintf(stderr, "at24sim: %s\n", error.c_str());
        return 1;
    }
    trace.Line(MonotonicNs(), "serving " + link.SlaveName());
    std::printf("ready %s\n", options.linkPath.c_str());
    std::fflush(stdout);

    std::vector<uint8_t> pending;
    uint8_t buffer[4096];
    bool bRunning = true;
    uint64_t lastReadNs = 0;
    while (bRunning) {
        if (link.IsOpen() && model.HangUp()) {
            trace.Line(MonotonicNs(), "line closed");
            link.Close();
        }
        uint64_t now = MonotonicNs();
        if (link.IsOpen()) {
            size_t before = pending.size();
            model.TakeDue(now, pending);
            trace.Bytes(now, "tx", pending.data() + before, pending.size() - before);
            Flush(link.Master(), pending);
        }
        pollfd fds[3] = { { signalFd, POLLIN, 0 }, { link.Master(), POLLIN, 0 }, { link.CloseWatch(), POLLIN, 0 } };
        if (!pending.empty())
            fds[1].events |= POLLOUT;
        nfds_t count = link.IsOpen() ? 3 : 1;
        // Wake when the next reply is due; a hung-up line only waits for the signal. A sleeping
        // process wakes tens of microseconds late, so the last stretch is waited out awake.
        uint64_t wakeNs = link.IsOpen() ? model.NextDue() : UINT64_MAX;
        timespec timeout {};
        timespec* pTimeout = nullptr;
        if (wakeNs != UINT64_MAX) {
            uint64_t waitNs = wakeNs > now + kAwakeNs ? wakeNs - now - kAwakeNs : 0;
            timeout.tv_sec = static_cast<time_t>(waitNs / 1000000000u);
            timeout.tv_nsec = static_cast<long>(waitNs % 1000000000u);
            pTimeout = &timeout;
        }
        if (::ppoll(fds, count, pTimeout, nullptr) < 0 && errno != EINTR) {
            std::perror("at24sim: ppoll");
            return 1;
        }
        if (fds[0].revents & POLLIN)
            bRunning = false;
        if (count == 3 && (fds[2].revents & POLLIN)) {
            trace.Line(MonotonicNs(), "client closed the line");
            link.ClientClosed();
        }
        if (count == 3 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) {
            if (options.readEveryUs) {
                uint64_t dueNs = lastReadNs + options.readEveryUs * 1000;
                uint64_t nowNs = MonotonicNs();
                if (dueNs > nowNs)
                    std::this_thread::sleep_for(std::chrono::nanoseconds(dueNs - nowNs));
                lastReadNs = MonotonicNs();
            }
            ssize_t n = ::read(link.Master(), buffer, sizeof buffer);
            if (n > 0) {
                uint64_t readNs = MonotonicNs();
                trace.Bytes(readNs, "rx", buffer, static_cast<size_t>(n));
                model.SetHostBaud(link.ClientBaud());
                model.Receive(buffer, static_cast<size_t>(n), readNs);
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                trace.Line(MonotonicNs(), std::string("line error: ") + std::strerror(errno));
                link.Close();
            }
        }
    }
    link.Close();
    if (options.printStats) {
        std::printf("stats command_bytes=%llu round_trips=%llu bus_bytes=%llu page_writes=%llu line_baud=%u "
                    "i2c_baud=%u%s\n",
            static_cast<unsigned long long>(model.CommandBytes()), static_cast<unsigned long long>(model.RoundTrips()),
            static_cast<unsigned long long>(model.BusBytes()), static_cast<unsigned long long>(model.PageWrites()),
            model.LineBaud(), model.I2cBaud(), model.Overrun() ? " overrun=1" : "");
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    SimOptions options;
    std::string error;
    if (!ParseSimOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "at24sim: %s\n%s", error.c_str(), SimUsage().c_str());
        return 2;
    }
    if (options.showHelp) {
        std::fputs(SimUsage().c_str(), stdout);
        return 0;
    }
    if (options.showVersion) {
        std::puts("at24sim " AT24WRITER_VERSION);
        return 0;
    }
    // The signals arrive through a descriptor, so the event loop sees them between two polls.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    ::sigprocmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // Replies leave when the model says; the kernel's default 50 us of timer slack per wait would
    // add to every round trip what no adapter adds.
    ::prctl(PR_SET_TIMERSLACK, 1UL);
    int signalFd = ::signalfd(-1, &signals, SFD_CLOEXEC);
    if (signalFd < 0) {
        std::perror("at24sim: signalfd");
        return 1;
    }
    int status = Serve(options, signalFd);
    ::close(signalFd);
    return status;
}
