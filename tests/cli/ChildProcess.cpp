#include "ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

bool Steers(const std::string& entry)
{
    for (const char* prefix : { "AT24WRITER_", "LOOPBACK_", "I2CADAPTER_", "AT24SIM_" })
        if (entry.rfind(prefix, 0) == 0)
            return true;
    return false;
}

std::vector<char*> Pointers(std::vector<std::string>& strings)
{
    std::vector<char*> pointers;
    for (std::string& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

ChildProcess::~ChildProcess()
{
    Kill();
    if (m_outFd >= 0)
        ::close(m_outFd);
    if (m_errFd >= 0)
        ::close(m_errFd);
}

bool ChildProcess::Start(
    const std::vector<std::string>& argv, const std::vector<std::string>& env, bool bStderrTerminal)
{
    std::vector<std::string> args = argv;
    std::vector<std::string> environment;
    for (char** p = environ; *p; ++p)
        if (!Steers(*p))
            environment.push_back(*p);
    for (const std::string& entry : env) {
        // getenv takes the first of two equal names: a later setting replaces the earlier one.
        std::string name = entry.substr(0, entry.find('=') + 1);
        std::erase_if(environment, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
        environment.push_back(entry);
    }
    std::vector<char*> argPointers = Pointers(args);
    std::vector<char*> envPointers = Pointers(environment);

    int outPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        return false;
    int errRead = -1, errWrite = -1;
    if (bStderrTerminal) {
        errRead = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (errRead >= 0 && ::grantpt(errRead) == 0 && ::unlockpt(errRead) == 0)
            errWrite = ::open(::ptsname(errRead), O_RDWR | O_NOCTTY | O_CLOEXEC);
    } else {
        int errPipe[2];
        if (::pipe2(errPipe, O_CLOEXEC) == 0) {
            errRead = errPipe[0];
            errWrite = errPipe[1];
        }
    }
    int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    pid_t parent = ::getpid();
    if (errWrite >= 0 && devNull >= 0)
        m_pid = ::fork();
    if (m_pid == 0) {
        // Only async-signal-safe calls between fork and exec.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        ::signal(SIGPIPE, SIG_DFL);
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errWrite, STDERR_FILENO);
        ::execve(argPointers[0], argPointers.data(), envPointers.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    if (errWrite >= 0)
        ::close(errWrite);
    if (devNull >= 0)
        ::close(devNull);
    m_outFd = outPipe[0];
    m_errFd = errRead;
    if (m_pid < 0) {
        Kill();
        return false;
    }
    return true;
}

bool ChildProcess::Collect(int timeoutMs)
{
    struct pollfd fds[2] = { { m_outFd, POLLIN, 0 }, { m_errFd, POLLIN, 0 } };
    if (m_outFd < 0 && m_errFd < 0)
        return false;
    if (::poll(fds, 2, timeoutMs) <= 0)
        return true;
    int* descriptors[2] = { &m_outFd, &m_errFd };
    std::string* texts[2] = { &m_out, &m_err };
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0)
            continue;
        char buffer[65536];
        ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
            texts[i]->append(buffer, static_cast<size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            // A pseudo-terminal reports its last writer's end as EIO.
            ::close(fds[i].fd);
            *descriptors[i] = -1;
        }
    }
    return true;
}

bool ChildProcess::Reap(bool bBlock)
{
    if (m_pid <= 0)
        return true;
    int status = 0;
    pid_t done;
    do {
        done = ::waitpid(m_pid, &status, bBlock ? 0 : WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done == 0)
        return false;
    if (done == m_pid)
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    m_pid = -1;
    return true;
}

void ChildProcess::Kill()
{
    if (m_pid > 0 && !Reap(false)) {
        ::kill(m_pid, SIGKILL);
        Reap(true); // SIGKILL cannot be refused, so this returns
        m_status = kTimedOut;
    }
}

bool ChildProcess::WaitFor(const std::string& text, bool bStderr, Ms timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    const std::string& where = bStderr ? m_err : m_out;
    while (where.find(text) == std::string::npos) {
        auto left = std::chrono::duration_cast<Ms>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || !Collect(static_cast<int>(std::min<long long>(left, 50))))
            return where.find(text) != std::string::npos;
    }
    return true;
}

void ChildProcess::Signal(int signo)
{
    if (m_pid > 0)
        ::kill(m_pid, signo);
}

int ChildProcess::Wait(Ms timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        // Output first: a child blocked on a full pipe would never end.
        if (!Collect(10) && Reap(false))
            return m_status;
        if (m_outFd < 0 && m_errFd < 0)
            ::usleep(1000);
    }
    Kill();
    return m_status;
}
