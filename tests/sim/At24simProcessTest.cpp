// at24sim as a process on a real pty: the ready line, the image file, the statistics, and cleaning
// up after itself.
#include "At24Device.h"
#include "SimProcess.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

namespace {

// What the line gives until it has count bytes, ends, or is quiet for two seconds.
std::string Read(int fd, size_t count)
{
    std::string text;
    pollfd pfd { fd, POLLIN, 0 };
    for (char c = 0; text.size() < count && ::poll(&pfd, 1, 2000) == 1 && ::read(fd, &c, 1) == 1;)
        text += c;
    return text;
}

std::string FileText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

TEST(At24sim, ServesThePtyUntilSigterm)
{
    SimProcess sim({});
    ASSERT_TRUE(sim.Out().starts_with("ready "));
    EXPECT_TRUE(std::filesystem::read_symlink(sim.link).string().starts_with("/dev/pts/"));
    EXPECT_EQ(FileText(sim.image), std::string(At24Device::kSize, '\xFF'));
    int fd = ::open(sim.link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    // Into raw I2C mode, then 0x77 written at 0x0010 through write-then-read: in the file at once.
    const std::pair<std::string, std::string> exchanges[] = { { std::string(20, '\0'), "BBIO1" },
        { "\x02\x4C", "I2C1\x01" }, { std::string("\x08\0\x04\0\0\xA0\0\x10\x77", 9), "\x01" } };
    for (const auto& [bytes, reply] : exchanges) {
        EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
        EXPECT_EQ(Read(fd, reply.size()), reply);
    }
    EXPECT_EQ(FileText(sim.image)[0x10], '\x77');
    ::close(fd);
    EXPECT_EQ(sim.Finish(),
        "ready " + sim.link
            + "\nstats command_bytes=31 round_trips=3 bus_bytes=4 page_writes=1 line_baud=115200 i2c_baud=115200\n");
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(sim.link)));
}

TEST(At24sim, UsageErrorExitsWith2)
{
    for (const auto& args : { std::vector<std::string> { "--firmware", "7" },
             std::vector<std::string> { "--hardware", "hydrabus", "--firmware", "8.0" } }) {
        SimProcess sim(args);
        EXPECT_EQ(sim.Wait(5000), 2); // no SIGTERM: it must end by itself
    }
}

} // namespace
