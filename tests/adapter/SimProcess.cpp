#include "SimProcess.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// Reads what the pipe gives until text holds marker (when given), it closes, or timeoutMs pass.
void ReadUntil(int fd, std::string& text, const char* pszMarker, int timeoutMs)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!(pszMarker && text.find(pszMarker) != std::string::npos)) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd pfd { fd, POLLIN, 0 };
        if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
            return;
        char buffer[512];
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return;
        text.append(buffer, static_cast<size_t>(n));
    }
}

} // namespace

SimProcess::SimProcess(const std::vector<std::string>& args)
    : m_link(m_dir.Path() + "/link")
{
    std::vector<std::string> argv = { AT24SIM, "--link", m_link };
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return;
    m_pid = ::fork();
    if (m_pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::execv(cargv[0], cargv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    m_out = pipeFds[0];
    ReadUntil(m_out, m_output, "\n", 5000);
    m_bReady = m_output.rfind("ready ", 0) == 0;
}

SimProcess::~SimProcess()
{
    Finish();
}

std::string SimProcess::Finish()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        ReadUntil(m_out, m_output, nullptr, 3000);
        int status = 0;
        bool bReaped = false;
        for (int i = 0; i < 200 && !(bReaped = ::waitpid(m_pid, &status, WNOHANG) == m_pid); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!bReaped) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
        }
        m_pid = -1;
    }
    if (m_out >= 0)
        ::close(m_out);
    m_out = -1;
    return m_output;
}

long StatValue(const std::string& output, const std::string& key)
{
    size_t at = output.find(" " + key + "=");
    return at == std::string::npos ? -1 : std::stol(output.substr(at + key.size() + 2));
}
