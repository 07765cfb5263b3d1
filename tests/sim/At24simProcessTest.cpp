// at24sim as a process on a real pty: the ready line, the symlink, the image file, the statistics,
// a hang-up, and the refusals. Every child is killed on every exit path.
#include "At24Device.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

struct TempDir {
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "at24sim-test-XXXXXX").string();
        path = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempDir() { fs::remove_all(path); }
    std::string operator/(const char* pszName) const { return (fs::path(path) / pszName).string(); }
    std::string path;
};

class SimProcess {
public:
    ~SimProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0)
            ::close(m_out);
    }

    void Start(std::vector<std::string> args)
    {
        int pipeFds[2];
        ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
        args.insert(args.begin(), AT24SIM_PATH);
        // Everything the child needs is ready before the fork: it only dups and execs.
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(pipeFds[1], STDOUT_FILENO);
            ::dup2(devNull, STDERR_FILENO);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(devNull);
        ::close(pipeFds[1]);
        m_out = pipeFds[0];
    }

    // Everything the child printed until its next newline, or until the timeout.
    std::string ReadLine(int timeoutMs = 3000)
    {
        std::string line;
        char c = 0;
        while (line.empty() || line.back() != '\n') {
            pollfd fd { m_out, POLLIN, 0 };
            if (::poll(&fd, 1, timeoutMs) <= 0 || ::read(m_out, &c, 1) != 1)
                break;
            line.push_back(c);
        }
        return line;
    }

    // Exit status after sig, or -1 when the child had not ended within the timeout.
    int Stop(int sig = SIGTERM)
    {
        ::kill(m_pid, sig);
        return Wait(5000);
    }

    int Wait(int timeoutMs)
    {
        for (int waited = 0; waited < timeoutMs; waited += 10) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
};

// The host end of the line.
class Client {
public:
    explicit Client(const std::string& path)
        : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC))
    {
    }
    ~Client()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool IsOpen() const { return m_fd >= 0; }
    std::string Exchange(const std::string& bytes, size_t replyLength)
    {
        EXPECT_EQ(::write(m_fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        std::string reply;
        char buffer[256];
        while (reply.size() < replyLength) {
            pollfd fd { m_fd, POLLIN, 0 };
            if (::poll(&fd, 1, 2000) <= 0)
                break;
            ssize_t n = ::read(m_fd, buffer, std::min(sizeof buffer, replyLength - reply.size()));
            if (n <= 0)
                break;
            reply.append(buffer, size_t(n));
        }
        return reply;
    }
    int Fd() const { return m_fd; }

private:
    int m_fd;
};

std::string Image(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

TEST(SimProcess, ServesThePtyAndCleansUpOnSigterm)
{
    TempDir dir;
    std::string link = dir / "bp";
    std::string image = dir / "eeprom.bin";
    SimProcess sim;
    sim.Start({ "--link", link, "--image", image, "--stats" });
    ASSERT_EQ(sim.ReadLine(), "ready " + link + "\n");
    EXPECT_EQ(fs::read_symlink(link).string().rfind("/dev/pts/", 0), 0u);
    EXPECT_EQ(Image(image), std::string(At24Device::kSize, '\xFF'));

    {
        Client client(link);
        ASSERT_TRUE(client.IsOpen());
        EXPECT_EQ(client.Exchange(std::string(20, '\0'), 5), "BBIO1");
        EXPECT_EQ(client.Exchange("\x02\x4C", 5), "I2C1\x01");
        // A page write of one byte at 0x0010 through write-then-read: in the file at once.
        EXPECT_EQ(client.Exchange(std::string("\x08\x00\x04\x00\x00\xA0\x00\x10\x77", 9), 1), "\x01");
        EXPECT_EQ(Image(image)[0x10], '\x77');
    }
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_EQ(sim.ReadLine(), "stats command_bytes=31 round_trips=3 bus_bytes=4 page_writes=1\n");
    EXPECT_EQ(Image(image).size(), At24Device::kSize);
}

TEST(SimProcess, HangUpClosesTheLineButKeepsRunning)
{
    TempDir dir;
    std::string link = dir / "bp";
    SimProcess sim;
    sim.Start({ "--link", link, "--hangup-after", "3" });
    ASSERT_EQ(sim.ReadLine(), "ready " + link + "\n");
    Client client(link);
    ASSERT_TRUE(client.IsOpen());
    EXPECT_EQ(::write(client.Fd(), "\n\n\n", 3), 3);
    // The client's read ends in EIO or end of file instead of waiting for an answer.
    pollfd fd { client.Fd(), POLLIN, 0 };
    ASSERT_EQ(::poll(&fd, 1, 3000), 1);
    char buffer[64];
    ssize_t n = 0;
    while ((n = ::read(client.Fd(), buffer, sizeof buffer)) > 0) { }
    EXPECT_TRUE(n == 0 || errno == EIO) << std::strerror(errno);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_EQ(sim.Wait(200), -1);
    EXPECT_EQ(sim.Stop(), 0);
}

// A real serial port forgets TIOCEXCL at its last close; a pty would keep it while at24sim runs.
TEST(SimProcess, ExclusiveModeEndsWhenTheClientCloses)
{
    TempDir dir;
    std::string link = dir / "bp";
    SimProcess sim;
    sim.Start({ "--link", link });
    ASSERT_EQ(sim.ReadLine(), "ready " + link + "\n");
    {
        Client client(link);
        ASSERT_TRUE(client.IsOpen());
        ASSERT_EQ(::ioctl(client.Fd(), TIOCEXCL), 0);
    }
    int exclusive = 1;
    for (int waited = 0; exclusive && waited < 2000; waited += 10) {
        std::this_thread::sleep_for(10ms);
        Client again(link); // without root this fails while the mode is still set
        if (again.IsOpen()) {
            ASSERT_EQ(::ioctl(again.Fd(), TIOCGEXCL, &exclusive), 0);
        }
    }
    EXPECT_EQ(exclusive, 0);
    EXPECT_EQ(sim.Stop(), 0);
}

struct RefusalCase {
    const char* name;
    std::vector<std::string> args; // "LINK" and "IMAGE" stand for paths in a fresh folder
    int status;
};

std::ostream& operator<<(std::ostream& os, const RefusalCase& c)
{
    return os << c.name;
}

class Refusals : public testing::TestWithParam<RefusalCase> { };

TEST_P(Refusals, ExitWithoutTouchingAnything)
{
    TempDir dir;
    std::string keep(100, 'k');
    std::ofstream(dir / "LINK") << keep;
    std::ofstream(dir / "IMAGE") << keep;
    std::vector<std::string> args;
    for (const std::string& arg : GetParam().args)
        args.push_back(arg == "LINK" || arg == "IMAGE" ? dir / arg.c_str() : arg);
    SimProcess sim;
    sim.Start(args);
    EXPECT_EQ(sim.Wait(3000), GetParam().status);
    EXPECT_EQ(Image(dir / "LINK"), keep);
    EXPECT_EQ(Image(dir / "IMAGE"), keep);
}

INSTANTIATE_TEST_SUITE_P(Sim, Refusals,
    testing::Values(RefusalCase { "NoArguments", {}, 2 },
        RefusalCase { "BadOption", { "--link", "x", "--firmware", "5" }, 2 },
        RefusalCase { "LinkIsAFile", { "--link", "LINK" }, 1 },
        RefusalCase { "ImageOfAnotherSize", { "--link", "x", "--image", "IMAGE" }, 1 }),
    testing::PrintToStringParamName());

} // namespace
