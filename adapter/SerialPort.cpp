#include "SerialPort.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int MillisecondsUntil(SteadyTime deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    // Round up so that a wait never ends just before its deadline and spins.
    return left.count() < 0 ? 0 : static_cast<int>(left.count()) + 1;
}

std::string PermissionReason(const std::string& path)
{
    std::string reason = path + ": Permission denied";
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0 || st.st_gid == 0)
        return reason;
    char buffer[4096];
    group entry {};
    group* pFound = nullptr;
    if (::getgrgid_r(st.st_gid, &entry, buffer, sizeof buffer, &pFound) != 0 || !pFound)
        return reason;
    std::string name = pFound->gr_name;
    return reason + "; the port belongs to group " + name + ": add yourself with 'sudo usermod -aG " + name
        + " $USER' and log in again";
}

std::string OpenFailureReason(const std::string& path, int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return PermissionReason(path);
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return path + ": no such serial port";
    case EBUSY:
        return path + ": the port is in use by another program";
    default:
        return path + ": " + std::strerror(error);
    }
}

} // namespace

bool SerialPort::Open(const std::string& path, std::string& reason)
{
    Close();
    // Non-blocking, so that neither the open (carrier) nor a read can hang; poll() does the waiting.
    m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (m_fd < 0) {
        reason = OpenFailureReason(path, errno);
        return false;
    }
    // A program started with a standard descriptor closed would get the port as that descriptor,
    // and whatever it prints would go to the adapter as commands.
    if (m_fd <= STDERR_FILENO) {
        int moved = ::fcntl(m_fd, F_DUPFD_CLOEXEC, STDERR_FILENO + 1);
        int error = errno;
        ::close(m_fd);
        m_fd = moved;
        if (m_fd < 0) {
            reason = path + ": " + std::strerror(error);
            return false;
        }
    }
    if (!::isatty(m_fd) || ::tcgetattr(m_fd, &m_saved) != 0) {
        reason = path + ": not a serial port";
        Close();
        return false;
    }
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        reason = path + ": the port is in use by another program";
        Close();
        return false;
    }
    ::ioctl(m_fd, TIOCEXCL);
    m_bSaved = true;

    termios t = m_saved;
    ::cfmakeraw(&t);
    t.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD | CS8;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::cfsetispeed(&t, B115200);
    ::cfsetospeed(&t, B115200);
    if (::tcsetattr(m_fd, TCSANOW, &t) != 0) {
        reason = path + ": cannot set the line to 115200 8N1: " + std::strerror(errno);
        Close();
        return false;
    }
    RequestLowLatency(path);
    ::tcflush(m_fd, TCIOFLUSH);
    return true;
}

// An FTDI bridge holds short replies for its latency timer (16 ms by default); 1 ms makes every
// round trip that much shorter. A pty or a CDC-ACM port refuses both requests, which is fine.
void SerialPort::RequestLowLatency(const std::string& path)
{
    serial_struct serial {};
    if (::ioctl(m_fd, TIOCGSERIAL, &serial) == 0) {
        serial.flags |= ASYNC_LOW_LATENCY;
        ::ioctl(m_fd, TIOCSSERIAL, &serial);
    }
    char resolved[PATH_MAX];
    if (!::realpath(path.c_str(), resolved))
        return;
    std::string name = resolved;
    name = name.substr(name.rfind('/') + 1);
    if (name.rfind("ttyUSB", 0) != 0)
        return;
    int fd = ::open(("/sys/bus/usb-serial/devices/" + name + "/latency_timer").c_str(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
        [[maybe_unused]] ssize_t written = ::write(fd, "1", 1);
        ::close(fd);
    }
}

bool SerialPort::SetSpeed(uint32_t baud)
{
    speed_t code = baud == 115200 ? B115200 : baud == 1000000 ? B1000000 : baud == 2000000 ? B2000000 : B0;
    termios t {};
    if (m_fd < 0 || code == B0 || ::tcgetattr(m_fd, &t) != 0)
        return false;
    ::cfsetispeed(&t, code);
    ::cfsetospeed(&t, code);
    if (::tcsetattr(m_fd, TCSANOW, &t) != 0 || ::tcgetattr(m_fd, &t) != 0)
        return false;
    return ::cfgetospeed(&t) == code && ::cfgetispeed(&t) == code;
}

void SerialPort::Close()
{
    if (m_fd < 0)
        return;
    if (m_bSaved)
        ::tcsetattr(m_fd, TCSANOW, &m_saved);
    ::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd);
    m_fd = -1;
    m_bSaved = false;
}

IoStatus SerialPort::Write(const uint8_t* p, size_t n, SteadyTime deadline)
{
    while (n > 0) {
        ssize_t done = ::write(m_fd, p, n);
        if (done > 0) {
            p += done;
            n -= static_cast<size_t>(done);
            continue;
        }
        if (done < 0 && errno != EAGAIN && errno != EINTR)
            return IoStatus::HangUp;
        pollfd pfd { m_fd, POLLOUT, 0 };
        int ready = ::poll(&pfd, 1, MillisecondsUntil(deadline));
        if (ready == 0)
            return IoStatus::Timeout;
        if (ready > 0 && (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)))
            return IoStatus::HangUp;
    }
    return IoStatus::Ok;
}

IoStatus SerialPort::ReadSome(uint8_t* p, size_t n, size_t& got, SteadyTime deadline)
{
    got = 0;
    for (;;) {
        pollfd pfd { m_fd, POLLIN, 0 };
        int ready = ::poll(&pfd, 1, MillisecondsUntil(deadline));
        if (ready < 0 && errno != EINTR)
            return IoStatus::HangUp;
        if (ready == 0 || (ready < 0 && std::chrono::steady_clock::now() >= deadline))
            return IoStatus::Timeout;
        if (ready < 0)
            continue;
        // With VMIN = 0 a read returns 0 both when nothing is there and after a hang-up; only
        // poll() tells them apart, so a read of nothing after it reported input means the end.
        ssize_t done = ::read(m_fd, p, n);
        if (done > 0) {
            got = static_cast<size_t>(done);
            return IoStatus::Ok;
        }
        if (done == 0 || (errno != EAGAIN && errno != EINTR) || (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)))
            return IoStatus::HangUp;
    }
}
