// The whole road: the command line, the adapter library and the emulated Bus Pirate with its
// EEPROM, in both transfer modes of the library, with the faults a bench meets.
#include "ChildProcess.h"
#include "Emulator.h"
#include "HexBuilder.h"
#include "JobLog.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <random>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

enum class Port {
    Emulator,
    Missing, // a path where nothing is
    Silent, // a pseudo-terminal nobody answers on
    NoLibrary, // the program without the adapter library beside it
};

// An outcome that depends on timing: only retries in the log, with or without a final Write error.
constexpr int kRetriedOrWriteError = 1001;

struct Road {
    const char* name;
    uint32_t address; // random bytes written from here, converted by objcopy
    uint32_t size;
    std::vector<std::string> simArgs, cliArgs;
    Port port;
    int status;
    Lines body;
    const char* err; // stderr holds this
    int seconds; // bound for the program to end
};

struct Mode {
    const char* name;
    const char* pipeline; // I2CADAPTER_PIPELINE
    std::vector<std::string> simArgs;
};

using Param = std::tuple<Road, Mode>;

void PrintTo(const Param& p, std::ostream* os)
{
    *os << std::get<0>(p).name << " " << std::get<1>(p).name;
}

std::vector<uint8_t> RandomBytes(uint32_t n)
{
    std::mt19937 random(n); // fixed per size: the same file on every run
    std::vector<uint8_t> bytes(n);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random());
    return bytes;
}

// The HEX file of data at address, made the way users make theirs from a binary image.
std::string HexFileOf(const TempDir& dir, const std::vector<uint8_t>& data, uint32_t address)
{
    std::string bin = dir.Path() + "/image.bin", hex = dir.Path() + "/image.hex";
    std::ofstream(bin, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
    ChildProcess objcopy;
    if (!objcopy.Start(
            { OBJCOPY, "-I", "binary", "-O", "ihex", "--change-addresses", std::to_string(address), bin, hex })
        || objcopy.Wait() != 0)
        ADD_FAILURE() << "objcopy: " << objcopy.Err();
    return hex;
}

void ExpectOnlyRetries(const Lines& body, int status)
{
    for (size_t i = 0; i < body.size(); ++i) {
        const std::string& line = body[i];
        bool bWriteError = line.rfind("Write error Address:", 0) == 0;
        EXPECT_TRUE(line.rfind("Verify error Address:", 0) == 0 || line.rfind("Retry success Address:", 0) == 0
            || (bWriteError && i + 1 == body.size()))
            << line;
        EXPECT_TRUE(!bWriteError || status == 1) << status;
    }
    EXPECT_TRUE(status == 0 || (status == 1 && !body.empty())) << status;
}

// What the log claims must hold in the device: every record before a Write error (all of them
// without one) as in the file, nothing from the record after it on, nothing outside the file.
void ExpectImageAsLogged(const std::vector<uint8_t>& image, const std::vector<uint8_t>& data, uint32_t address,
    const Lines& body, int status)
{
    ASSERT_EQ(image.size(), 0x20000u);
    uint32_t end = address + static_cast<uint32_t>(data.size());
    uint32_t failed = status == 0 ? end : address;
    if (status != 0 && !body.empty() && body.back().rfind("Write error Address:", 0) == 0)
        failed = static_cast<uint32_t>(std::stoul(body.back().substr(20), nullptr, 16));
    size_t wrong = 0;
    uint32_t first = 0;
    for (uint32_t a = 0; a < image.size(); ++a) {
        bool bInFile = a >= address && a < end;
        bool bOk = true;
        if (bInFile && a < failed)
            bOk = image[a] == data[a - address];
        else if (!bInFile || a >= failed + 16)
            bOk = image[a] == 0xFF;
        if (!bOk && wrong++ == 0)
            first = a;
    }
    EXPECT_EQ(wrong, 0u) << "first wrong byte at " << std::hex << first;
}

class EndToEnd : public testing::TestWithParam<Param> { };

TEST_P(EndToEnd, Road)
{
    const auto& [road, mode] = GetParam();
    TempDir dir;
    std::vector<uint8_t> data = RandomBytes(road.size);
    std::string hex = HexFileOf(dir, data, road.address);
    std::vector<std::string> env { std::string("I2CADAPTER_PIPELINE=") + mode.pipeline };
    std::string program = CLI_PROGRAM;
    Emulator sim;
    int silentPty = -1;
    switch (road.port) {
    case Port::Emulator: {
        std::vector<std::string> simArgs = road.simArgs;
        simArgs.insert(simArgs.end(), mode.simArgs.begin(), mode.simArgs.end());
        ASSERT_TRUE(sim.Start(dir.Path(), simArgs)) << sim.Output();
        env.push_back("I2CADAPTER_COM1=" + sim.Link());
        break;
    }
    case Port::Missing:
        env.push_back("I2CADAPTER_COM1=" + dir.Path() + "/nothing-here");
        break;
    case Port::Silent:
        silentPty = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_TRUE(silentPty >= 0 && ::grantpt(silentPty) == 0 && ::unlockpt(silentPty) == 0);
        env.push_back(std::string("I2CADAPTER_COM1=") + ::ptsname(silentPty));
        break;
    case Port::NoLibrary:
        program = dir.Path() + "/at24writer-cli";
        std::filesystem::copy_file(CLI_PROGRAM, program);
        break;
    }

    ChildProcess cli;
    std::vector<std::string> argv { program };
    argv.insert(argv.end(), road.cliArgs.begin(), road.cliArgs.end());
    argv.push_back(hex);
    auto started = Clock::now();
    ASSERT_TRUE(cli.Start(argv, env));
    int status = cli.Wait(std::chrono::seconds(road.seconds));
    double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    RecordProperty("seconds", std::to_string(seconds));
    std::cout << "at24writer-cli ran " << seconds << " s\n";
    if (silentPty >= 0)
        ::close(silentPty);

    ASSERT_NE(status, ChildProcess::kTimedOut) << "still running after " << road.seconds << " s:\n" << cli.Out();
    EXPECT_NE(cli.Err().find(road.err), std::string::npos) << cli.Err();
    if (road.port == Port::NoLibrary) {
        EXPECT_EQ(status, road.status);
        EXPECT_EQ(cli.Out(), "");
        return;
    }
    Lines body = JobBody(cli.Out());
    if (road.status == kRetriedOrWriteError) {
        ExpectOnlyRetries(body, status);
    } else {
        EXPECT_EQ(status, road.status);
        ExpectJobBody(cli.Out(), road.body);
    }
    if (road.port == Port::Emulator) {
        EXPECT_EQ(sim.Stop(), 0);
        // An overrun would have hung a real v3 adapter for good.
        EXPECT_EQ(sim.Output().find("overrun"), std::string::npos) << sim.Output();
        ExpectImageAsLogged(sim.Image(), data, road.address, body, status);
    }
}

const Lines kNeverVerifies { "Verify error Address:000120", "Verify error Address:000120",
    "Verify error Address:000120", "Verify error Address:000120", "Verify error Address:000120",
    "Write error Address:000120" };
const Lines kLinkLost { "Verify error Address:*", "Verify error Address:*", "Verify error Address:*",
    "Verify error Address:*", "Verify error Address:*", "Write error Address:*" };

const Road kRoads[] = {
    { "full_image", 0, 0x20000, {}, {}, Port::Emulator, 0, {}, "", 600 },
    { "upper_half_both_pins_high", 0x10000, 0x10000, { "--a0", "high", "--a1", "high" },
        { "--a0", "high", "--a1", "high" }, Port::Emulator, 0, {}, "", 400 },
    { "a0_pin_high_top_of_device", 0x1FE00, 0x200, { "--a0", "high" }, { "--a0", "high" }, Port::Emulator, 0, {}, "",
        60 },
    { "a1_pin_high_across_64k", 0xFF00, 0x200, { "--a1", "high" }, { "--a1", "high" }, Port::Emulator, 0, {}, "", 60 },
    { "library_missing", 0, 0x10, {}, {}, Port::NoLibrary, 3, {}, "DLL Error(i2c.dll)\n", 30 },
};

const Road kFaultRoads[] = {
    { "fails_once", 0, 0x200, { "--corrupt", "0x125" }, {}, Port::Emulator, 0,
        { "Verify error Address:000120", "Retry success Address:000120" }, "", 60 },
    { "never_verifies", 0, 0x200, { "--stuck", "0x125" }, {}, Port::Emulator, 1, kNeverVerifies, "", 60 },
    { "busy_longer_than_wait", 0, 0x200, { "--write-cycle-ms", "12" }, { "--wait", "5" }, Port::Emulator,
        kRetriedOrWriteError, {}, "", 120 },
    { "unplugged", 0, 0x1000, { "--hangup-after", "3000" }, {}, Port::Emulator, 1, kLinkLost, "unplugged", 60 },
    { "stops_answering", 0, 0x1000, { "--mute-after", "3000" }, {}, Port::Emulator, 1, kLinkLost, "stopped answering",
        60 },
    { "no_pullups", 0, 0x200, { "--no-pullups" }, {}, Port::Emulator, 1, { "Port Open Error." }, "pull-ups", 60 },
    { "no_such_port", 0, 0x10, {}, {}, Port::Missing, 1, { "Port Open Error." }, "no such serial port", 30 },
    { "nobody_answers", 0, 0x10, {}, {}, Port::Silent, 1, { "Port Open Error." }, "no Bus Pirate answered", 60 },
};

const Mode kModes[] = { { "pipelined", "1", {} }, { "byte_by_byte", "0", {} } };
const Mode kSmallFifoModes[]
    = { { "pipelined_rx_fifo_4", "1", { "--rx-fifo", "4" } }, { "byte_by_byte_rx_fifo_4", "0", { "--rx-fifo", "4" } } };

std::string Name(const testing::TestParamInfo<Param>& info)
{
    return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
}

INSTANTIATE_TEST_SUITE_P(Roads, EndToEnd, testing::Combine(testing::ValuesIn(kRoads), testing::ValuesIn(kModes)), Name);
INSTANTIATE_TEST_SUITE_P(
    Faults, EndToEnd, testing::Combine(testing::ValuesIn(kFaultRoads), testing::ValuesIn(kModes)), Name);
INSTANTIATE_TEST_SUITE_P(
    SmallFifo, EndToEnd, testing::Combine(testing::ValuesIn(kFaultRoads), testing::ValuesIn(kSmallFifoModes)), Name);

} // namespace
