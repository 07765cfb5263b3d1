#include "AdapterHarness.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

SimProcess::SimProcess(std::vector<std::string> args)
{
    args.insert(args.begin(), { AT24SIM, "--link", link, "--image", image, "--stats" });
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return;
    if ((pid = ::fork()) == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        ::dup2(fds[1], STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    out = fds[0];
    Read(false);
}

void SimProcess::Read(bool bToTheEnd)
{
    pollfd pfd { out, POLLIN, 0 };
    for (char c = 0; (bToTheEnd || !output.ends_with('\n')) && ::poll(&pfd, 1, 5000) == 1 && ::read(out, &c, 1) == 1;)
        output += c;
}

std::string SimProcess::Finish()
{
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        Read(true); // its output ends when it does
        ::kill(pid, SIGKILL);
        int wait = 0;
        ::waitpid(pid, &wait, 0);
        status = WIFEXITED(wait) ? WEXITSTATUS(wait) : 128 + WTERMSIG(wait);
        ::close(out);
        pid = -1;
    }
    return output;
}
