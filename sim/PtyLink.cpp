#include "PtyLink.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::string SystemError(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

} // namespace

bool PtyLink::Create(const std::string& linkPath, std::string& error)
{
    struct stat st { };
    if (::lstat(linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
        error = linkPath + " exists and is not a symlink; not replacing it";
        return false;
    }
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) {
        error = SystemError("posix_openpt");
        return false;
    }
    char name[PATH_MAX] = {};
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 || ::ptsname_r(m_master, name, sizeof name) != 0) {
        error = SystemError("pty setup");
        Close();
        return false;
    }
    m_slaveName = name;
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio {};
    if (m_slave < 0 || ::tcgetattr(m_slave, &tio) != 0) {
        error = SystemError(m_slaveName);
        Close();
        return false;
    }
    // Raw before anyone connects: echo or CR/LF mapping would mangle the first bytes.
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B115200);
    if (::tcsetattr(m_slave, TCSANOW, &tio) != 0
        || ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK) != 0) {
        error = SystemError(m_slaveName);
        Close();
        return false;
    }
    m_watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_watch < 0 || ::inotify_add_watch(m_watch, name, IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0) {
        error = SystemError("inotify " + m_slaveName);
        Close();
        return false;
    }
    // Symlink under a temporary name, then rename: the link never points at nothing.
    std::string temp = linkPath + ".at24sim-" + std::to_string(::getpid());
    ::unlink(temp.c_str());
    if (::symlink(name, temp.c_str()) != 0 || ::rename(temp.c_str(), linkPath.c_str()) != 0) {
        error = SystemError(linkPath);
        ::unlink(temp.c_str());
        Close();
        return false;
    }
    m_linkPath = linkPath;
    return true;
}

void PtyLink::Close()
{
    if (!m_linkPath.empty()) {
        char target[PATH_MAX] = {};
        ssize_t length = ::readlink(m_linkPath.c_str(), target, sizeof target - 1);
        if (length > 0 && m_slaveName == std::string(target, static_cast<size_t>(length)))
            ::unlink(m_linkPath.c_str());
        m_linkPath.clear();
    }
    for (int* pFd : { &m_watch, &m_slave, &m_master }) {
        if (*pFd >= 0)
            ::close(*pFd);
        *pFd = -1;
    }
}

unsigned PtyLink::ClientBaud() const
{
    static const struct {
        speed_t code;
        unsigned baud;
    } kRates[] = { { B300, 300 }, { B1200, 1200 }, { B2400, 2400 }, { B4800, 4800 }, { B9600, 9600 }, { B19200, 19200 },
        { B38400, 38400 }, { B57600, 57600 }, { B115200, 115200 }, { B230400, 230400 }, { B460800, 460800 },
        { B500000, 500000 }, { B921600, 921600 }, { B1000000, 1000000 }, { B1500000, 1500000 }, { B2000000, 2000000 },
        { B3000000, 3000000 }, { B4000000, 4000000 } };
    termios tio {};
    if (m_master < 0 || ::tcgetattr(m_master, &tio) != 0)
        return 0;
    speed_t code = ::cfgetospeed(&tio);
    for (const auto& rate : kRates) {
        if (rate.code == code)
            return rate.baud;
    }
    return 0;
}

void PtyLink::ClientClosed()
{
    char events[4096];
    while (::read(m_watch, events, sizeof events) > 0) { }
    ::ioctl(m_slave, TIOCNXCL);
}
