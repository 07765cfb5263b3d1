// A program run as a child process by the tests: its output collected, every wait bounded, and the
// child killed on every road out of the test.
#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

class ChildProcess {
public:
    using Ms = std::chrono::milliseconds;
    static constexpr int kTimedOut = -1;

    ChildProcess() = default;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    // argv[0] is the program's path. The environment is this one without the variables that
    // steer the writer, the adapter libraries and the emulator, plus env ("NAME=value").
    // Later entries of env replace earlier ones. bStderrTerminal puts the child's stderr on a pseudo-terminal.
    bool Start(
        const std::vector<std::string>& argv, const std::vector<std::string>& env = {}, bool bStderrTerminal = false);
    // Collects output until stdout (or stderr) holds text, the child has ended, or time is up.
    bool WaitFor(const std::string& text, bool bStderr = false, Ms timeout = Ms(10000));
    void Signal(int signo);
    // Collects output until the child has ended. Its exit status, 128 + the signal that ended it,
    // or kTimedOut when it was still running at the deadline and has been killed.
    int Wait(Ms timeout = Ms(30000));

    const std::string& Out() const { return m_out; }
    const std::string& Err() const { return m_err; }

private:
    // One round of reading; false when both outputs are closed.
    bool Collect(int timeoutMs);
    bool Reap(bool bBlock);
    void Kill();

    pid_t m_pid = -1;
    int m_outFd = -1;
    int m_errFd = -1;
    int m_status = kTimedOut;
    std::string m_out, m_err;
};
