// at24sim as a process on a real pty: the ready line, the symlink, the image file, the statistics,
// hang-up, exclusive mode, and the refusals. The child is killed on every exit path.
#include "At24Device.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class SimProcess : public testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "at24sim-test-XXXXXX").string();
        ASSERT_TRUE(::mkdtemp(pattern.data()));
        m_dir = pattern;
    }
    void TearDown() override
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0)
            ::close(m_out);
        fs::remove_all(m_dir);
    }

    std::string Path(const std::string& name) const { return (m_dir / name).string(); }

    void Start(std::vector<std::string> args)
    {
        int fds[2];
        ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        args.insert(args.begin(), AT24SIM_PATH);
        // All the child needs is ready before the fork: it only dups and execs.
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(fds[1], STDOUT_FILENO);
            ::dup2(devNull, STDERR_FILENO);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(devNull);
        ::close(fds[1]);
        m_out = fds[0];
    }
    // What the child printed up to its next newline, or until the timeout.
    std::string ReadLine()
    {
        std::string line;
        char c = 0;
        pollfd fd { m_out, POLLIN, 0 };
        while ((line.empty() || line.back() != '\n') && ::poll(&fd, 1, 3000) == 1 && ::read(m_out, &c, 1) == 1)
            line.push_back(c);
        return line;
    }
    // Exit status, or -1 when the child has not ended within the timeout.
    int Wait(int timeoutMs)
    {
        for (int waited = 0; waited < timeoutMs; waited += 10) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    int Stop()
    {
        ::kill(m_pid, SIGTERM);
        return Wait(5000);
    }

    fs::path m_dir;
    pid_t m_pid = -1;
    int m_out = -1;
};

int OpenLine(const std::string& path)
{
    return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
}

std::string Exchange(int fd, const std::string& bytes, size_t replyLength, int timeoutMs = 2000)
{
    EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    std::string reply(replyLength, '\0');
    size_t got = 0;
    pollfd pfd { fd, POLLIN, 0 };
    while (got < replyLength && ::poll(&pfd, 1, timeoutMs) == 1) {
        ssize_t n = ::read(fd, reply.data() + got, replyLength - got);
        if (n <= 0)
            break;
        got += size_t(n);
    }
    return reply.substr(0, got);
}

std::string FileText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

TEST_F(SimProcess, ServesThePtyAndCleansUpOnSigterm)
{
    std::string link = Path("bp"), image = Path("eeprom.bin");
    Start({ "--link", link, "--image", image, "--stats" });
    ASSERT_EQ(ReadLine(), "ready " + link + "\n");
    EXPECT_EQ(fs::read_symlink(link).string().rfind("/dev/pts/", 0), 0u);
    EXPECT_EQ(FileText(image), std::string(At24Device::kSize, '\xFF'));
    int fd = OpenLine(link);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Exchange(fd, std::string(20, '\0'), 5), "BBIO1");
    EXPECT_EQ(Exchange(fd, "\x02\x4C", 5), "I2C1\x01");
    // One byte written at 0x0010 through write-then-read is in the file at once.
    EXPECT_EQ(Exchange(fd, std::string("\x08\x00\x04\x00\x00\xA0\x00\x10\x77", 9), 1), "\x01");
    EXPECT_EQ(FileText(image)[0x10], '\x77');
    ::close(fd);
    EXPECT_EQ(Stop(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_EQ(ReadLine(),
        "stats command_bytes=31 round_trips=3 bus_bytes=4 page_writes=1 line_baud=115200 i2c_baud=115200\n");
}

bool SetLineSpeed(int fd, speed_t speed)
{
    termios tio {};
    return ::tcgetattr(fd, &tio) == 0 && ::cfsetspeed(&tio, speed) == 0 && ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

// The client's speed setting reaches the emulator through the pty: a v3 left at 2 Mbaud hears
// nothing at 115200, answers at 2 Mbaud, and is back at 115200 after leaving binary mode.
TEST_F(SimProcess, HearsOnlyAClientAtItsSpeed)
{
    std::string link = Path("bp");
    Start({ "--link", link, "--initial-baud", "2000000", "--initial-state", "bbio", "--stats" });
    ASSERT_EQ(ReadLine(), "ready " + link + "\n");
    int fd = OpenLine(link);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(SetLineSpeed(fd, B115200));
    EXPECT_EQ(Exchange(fd, std::string(1, '\0'), 5, 200), "");
    ASSERT_TRUE(SetLineSpeed(fd, B2000000));
    EXPECT_EQ(Exchange(fd, std::string(1, '\0'), 5), "BBIO1");
    EXPECT_EQ(Exchange(fd, "\x0F", 1), "\x01");
    ASSERT_TRUE(SetLineSpeed(fd, B115200));
    std::string banner = Exchange(fd, "", 512, 200);
    EXPECT_EQ(banner.substr(banner.size() - 4), "HiZ>");
    EXPECT_EQ(Exchange(fd, "\r", 6), "\r\nHiZ>");
    ::close(fd);
    EXPECT_EQ(Stop(), 0);
    std::string stats = ReadLine();
    EXPECT_NE(stats.find(" line_baud=115200 i2c_baud=0"), std::string::npos) << stats;
}

TEST_F(SimProcess, HangUpClosesTheLineButKeepsRunning)
{
    std::string link = Path("bp");
    Start({ "--link", link, "--hangup-after", "3" });
    ASSERT_EQ(ReadLine(), "ready " + link + "\n");
    int fd = OpenLine(link);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::write(fd, "\n\n\n", 3), 3);
    // The client's read ends in EIO or end of file instead of waiting for an answer.
    pollfd pfd { fd, POLLIN, 0 };
    ASSERT_EQ(::poll(&pfd, 1, 3000), 1);
    char buffer[64];
    ssize_t n = 0;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) { }
    EXPECT_TRUE(n == 0 || errno == EIO) << std::strerror(errno);
    ::close(fd);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_EQ(Wait(200), -1);
    EXPECT_EQ(Stop(), 0);
}

// A real serial port forgets TIOCEXCL at its last close; a pty would keep it while at24sim runs.
TEST_F(SimProcess, ExclusiveModeEndsWhenTheClientCloses)
{
    std::string link = Path("bp");
    Start({ "--link", link });
    ASSERT_EQ(ReadLine(), "ready " + link + "\n");
    int fd = OpenLine(link);
    ASSERT_EQ(::ioctl(fd, TIOCEXCL), 0);
    ::close(fd);
    int exclusive = 1;
    for (int waited = 0; exclusive && waited < 2000; waited += 10) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        fd = OpenLine(link); // without root this fails while the mode is still set
        if (fd >= 0) {
            EXPECT_EQ(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
            ::close(fd);
        }
    }
    EXPECT_EQ(exclusive, 0);
    EXPECT_EQ(Stop(), 0);
}

struct RefusalCase {
    const char* name;
    std::vector<std::string> args; // "LINK" and "IMAGE" name files that exist
    int status;
};

class Refusals : public SimProcess, public testing::WithParamInterface<RefusalCase> { };

TEST_P(Refusals, ExitWithoutTouchingAnything)
{
    const std::string keep(100, 'k');
    std::vector<std::string> args;
    for (const std::string& arg : GetParam().args) {
        bool bFile = arg == "LINK" || arg == "IMAGE";
        if (bFile)
            std::ofstream(Path(arg)) << keep;
        args.push_back(bFile ? Path(arg) : arg);
    }
    Start(args);
    EXPECT_EQ(Wait(3000), GetParam().status);
    for (const char* pszName : { "LINK", "IMAGE" })
        EXPECT_TRUE(!fs::exists(Path(pszName)) || FileText(Path(pszName)) == keep);
}

INSTANTIATE_TEST_SUITE_P(Sim, Refusals,
    testing::Values(RefusalCase { "NoArguments", {}, 2 },
        RefusalCase { "BadOption", { "--link", "x", "--firmware", "5" }, 2 },
        RefusalCase { "LinkIsAFile", { "--link", "LINK" }, 1 },
        RefusalCase { "ImageOfAnotherSize", { "--link", "x", "--image", "IMAGE" }, 1 }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
