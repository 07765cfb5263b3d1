// A program run as a child process by the tests, its stdout and stderr kept in memory files (never a
// pipe that fills), every wait bounded, and the child killed on every road out of the test.
#pragma once

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>
#include <vector>

class ChildProcess {
public:
    static constexpr int kTimedOut = -1;

    ~ChildProcess()
    {
        Signal(SIGKILL);
        for (int fd : m_files)
            ::close(fd);
    }

    // argv[0] is the program's path; env ("NAME=value", a later one wins) comes before this environment less
    // what steers the writer, the adapter libraries and the emulator. stderrFd replaces the stderr file.
    bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& env = {}, int stderrFd = -1)
    {
        static const std::regex kSteering("(AT24WRITER|LOOPBACK|I2CADAPTER|AT24SIM)_.*");
        std::vector<char*> args, vars;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        for (auto entry = env.rbegin(); entry != env.rend(); ++entry) // getenv takes the first of a name
            vars.push_back(const_cast<char*>(entry->c_str()));
        for (char** p = environ; *p; ++p)
            if (!std::regex_match(*p, kSteering))
                vars.push_back(*p);
        args.push_back(nullptr);
        vars.push_back(nullptr);
        pid_t parent = ::getpid();
        if ((m_pid = ::fork()) == 0) { // only async-signal-safe calls until exec
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (::getppid() != parent)
                ::_exit(127);
            if (bCloseInputAndOutput) { // as a scheduler may start a program
                ::close(STDIN_FILENO);
                ::close(STDOUT_FILENO);
            } else {
                ::dup2(::open("/dev/null", O_RDONLY | O_CLOEXEC), STDIN_FILENO);
                ::dup2(m_files[0], STDOUT_FILENO);
            }
            ::dup2(stderrFd >= 0 ? stderrFd : m_files[1], STDERR_FILENO);
            ::execve(args[0], args.data(), vars.data());
            ::_exit(127);
        }
        return m_pid > 0;
    }

    // Until stdout or stderr holds text; false when time ran out first.
    bool WaitFor(const std::string& text, int timeoutMs = 10000) const
    {
        for (int ms = 0; ms < timeoutMs; ms += 5, ::usleep(5000))
            if (Out().find(text) != std::string::npos || Err().find(text) != std::string::npos)
                return true;
        return false;
    }

    // The exit status, 128 + the signal that ended the child, or kTimedOut when killed at the deadline.
    int Wait(int timeoutMs = 30000)
    {
        for (int ms = 0, status; m_pid > 0 && ms < timeoutMs; ++ms, ::usleep(1000))
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                m_pid = -1;
            }
        Signal(SIGKILL);
        return m_status;
    }

    // SIGKILL, which the child cannot refuse, also reaps it.
    void Signal(int signo)
    {
        if (m_pid > 0 && ::kill(m_pid, signo) == 0 && signo == SIGKILL)
            ::waitpid(std::exchange(m_pid, -1), nullptr, 0);
    }

    std::string Out() const { return Read(m_files[0]); }
    std::string Err() const { return Read(m_files[1]); }

    bool bCloseInputAndOutput = false; // start the child with descriptors 0 and 1 closed

private:
    static std::string Read(int fd)
    {
        std::ifstream file("/proc/self/fd/" + std::to_string(fd), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }

    pid_t m_pid = -1;
    int m_status = kTimedOut;
    int m_files[2] = { ::memfd_create("stdout", MFD_CLOEXEC), ::memfd_create("stderr", MFD_CLOEXEC) };
};
