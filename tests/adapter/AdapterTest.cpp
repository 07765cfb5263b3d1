// libi2cadapter against the emulator: which port COMn is, and jobs byte by byte and pipelined from
// every state and serial speed an adapter may be found in, on every board and firmware build, with
// a device that refuses, and on links that fail. The image file and the emulator's statistics
// tell what reached the adapter.
#include "AdapterHarness.h"
#include "EepromBlock.h"
#include "PortNames.h"
#include "i2c_adapter.h"

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

// A /dev and /sys/class/tty of our own: on-board ports with and without a UART, USB ports whose
// numbers sort wrongly as text, and a name that is no port.
TEST(PortRule, OrdersOnBoardThenUsbThenAcmNumerically)
{
    TempDir root;
    const std::string dev = root.Path() + "/dev/", sys = root.Path() + "/sys/", drivers = root.Path() + "/drivers/";
    // The name, its type attribute and its driver; "" for none.
    const char* const ttys[][3] = { { "ttyS0", "4", "port" }, { "ttyS1", "0", "serial8250" }, { "ttyS2", "", "" },
        { "ttyS3", "", "serial8250" }, { "ttyS4", "", "serial" }, { "ttyS10", "4", "serial8250" } };
    fs::create_directories(dev);
    for (const auto& [name, type, driver] : ttys) {
        std::ofstream(dev + name).put('\n');
        fs::create_directories(sys + name);
        std::ofstream(sys + name + "/type") << type; // an empty one reads as none
        if (*driver) {
            fs::create_directories(sys + name + "/device");
            fs::create_directories(drivers + driver);
            fs::create_directory_symlink(drivers + driver, sys + name + "/device/driver");
        }
    }
    for (const char* name : { "ttyUSB10", "ttyUSB2", "ttyACM1", "ttyACM0", "ttyUSBx" })
        std::ofstream(dev + name).put('\n');
    std::vector<std::string> expected;
    for (const char* name : { "ttyS0", "ttyS4", "ttyS10", "ttyUSB2", "ttyUSB10", "ttyACM0", "ttyACM1" })
        expected.push_back(dev + name);
    EXPECT_EQ(ListSerialPorts(root.Path() + "/dev", root.Path() + "/sys"), expected);
}

namespace {

struct Record {
    uint32_t address;
    int count;
};

// Page starts and ends, a block over a page boundary, the upper 64 KiB, a read longer than the one
// before it and one shorter, an empty record.
const Record kRecords[] = { { 0x000000, 16 }, { 0x0000F8, 16 }, { 0x000120, 32 }, { 0x010000, 1 }, { 0x01FFF0, 16 },
    { 0x000200, 0 }, { 0x000300, 16 } };

// What the device holds at a record once the job is over.
std::vector<uint8_t> Stored(const Record& r, bool bLands)
{
    return bLands ? Pattern(r.address, r.count) : std::vector<uint8_t>(size_t(r.count), 0xFF);
}

// Calls that do not fit the engine's pattern; pipelined, they must read and report what they read
// and report byte by byte.
constexpr int S = -1, P = -2, R = -3, L = -4; // start, stop, read, read the last; others are writes
const int kCalls[] = { S, 0xA0, 0x01, 0x00, P, S, 0xA1, R, R, L, P, // a current-address read
    S, 0xA0, 0x01, 0x20, S, 0xA1, R, R, R, R, R, R, R, R, R, R, R, R, R, R, R, R, R, R, R, R, L, P, // longer
    S, 0xA0, 0x03, 0x00, S, 0xA1, L, P, S, 0xA2, 0xFF, 0xF0, S, 0xA3, R, L, P, // shorter; the upper half
    S, 0xA4, 0x00, 0x00, S, 0xA5, R, L, P, L, P, // nobody answers; no start at all
    S, 0xA0, 0x00, 0x0C, S, 0xA1, L, S, 0xA0, 0x00, 0xF8, S, 0xA1, R, L, P, // a new read without a stop
    // Another page bit; no repeated start: 0xFF written. Last, since the device is busy for a write
    // cycle afterwards, and whether the next call comes within it depends on the machine's load.
    S, 0xA0, 0x00, 0x08, S, 0xA3, R, L, P, S, 0xA0, 0x04, 0x24, R, L, P };

std::vector<int> RunCalls()
{
    std::vector<int> results; // of reads, starts and stops: writes report later when pipelined
    for (int call : kCalls) {
        if (call <= R)
            results.push_back(i2c_read(call == L));
        else if (call == S || call == P)
            results.push_back(call == S ? i2c_start() : i2c_stop());
        else
            i2c_write(call);
    }
    return results;
}

struct Job {
    std::string name;
    std::vector<std::string> args;
    std::string reason; // empty: the job succeeds; after the emulator's link when it begins with ':'
    long lineBaud = 0; // the serial speed of the transfers
    const char* variable = nullptr; // set to value after the defaults
    const char* value = "";
    int landed = -1; // when set, the device acknowledges nothing and only so many records reach it
    double roundTrips = 0; // per pipelined 16-byte record
    bool bWarns = false; // finding the adapter completes a command cut short: stderr says so
    friend void PrintTo(const Job& job, std::ostream* os) { *os << job.name; }
};

// The host's round trips the emulator counted for a pipelined job of records 16-byte records.
long RoundTrips(const Job& c, uint32_t records)
{
    SimProcess sim(c.args);
    Prepare(sim.link, "1", c.variable, c.value);
    EXPECT_TRUE(i2c_connect(20)) << i2c_last_error();
    for (uint32_t address = 0; address < records * 16; address += 16) {
        EepromWriteBlock(address, 16, Pattern(address, 16).data());
        EXPECT_EQ(ReadRecord(address, 16), Pattern(address, 16));
    }
    i2c_disconnect();
    std::string stats = sim.Finish();
    return std::stol(stats.substr(stats.find(" round_trips=") + 13));
}

class Jobs : public testing::TestWithParam<Job> { };

// Byte by byte and pipelined, each against an emulator of its own. After a job, calls return at once.
TEST_P(Jobs, EndWithinSecondsAsTheyShould)
{
    const Job& c = GetParam();
    std::vector<int> reads[2];
    for (int pipelined : { 0, 1 }) {
        SimProcess sim(c.args);
        Prepare(sim.link, pipelined ? "1" : "0", c.variable, c.value);
        auto start = std::chrono::steady_clock::now();
        testing::internal::CaptureStderr();
        // The port must not take the place of a standard descriptor the program has closed.
        int input = ::dup(STDIN_FILENO);
        ::close(STDIN_FILENO);
        bool bConnected = i2c_connect(20);
        EXPECT_EQ(::fcntl(STDIN_FILENO, F_GETFD), -1);
        ::dup2(input, STDIN_FILENO);
        ::close(input);
        std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(said.ends_with("the EEPROM may have received a partial write\n"), c.bWarns) << said;
        if (bConnected) {
            for (int i = 0; const Record& r : kRecords) {
                bool bWritten = EepromWriteBlock(r.address, r.count, Pattern(r.address, r.count).data()), bRead = false;
                std::vector<uint8_t> read = ReadRecord(r.address, r.count, &bRead);
                if (bRead && (bWritten || c.reason.empty())) {
                    EXPECT_EQ(read, Pattern(r.address, r.count)) << r.address;
                }
                // What the device refused, or what did not reach it, is never reported done.
                if (c.reason.empty()) {
                    EXPECT_EQ(std::pair(bWritten, bRead), std::pair(c.landed < 0 || i++ < c.landed, c.landed < 0))
                        << r.address;
                }
            }
            reads[pipelined] = RunCalls();
        }
        i2c_disconnect();
        i2c_disconnect();
        EXPECT_EQ(
            (std::vector { i2c_start(), i2c_write(0xA0), i2c_read(1), i2c_stop() }), (std::vector { 0, 1, -1, 0 }));
        EXPECT_EQ(i2c_last_error(), (c.reason.starts_with(':') ? sim.link : "") + c.reason);
        // Silence is searched at 115200 baud and at 2 Mbaud before a connect gives up.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        // No overrun, and the adapter left at its boot speed.
        std::string stats = " line_baud=115200 i2c_baud=" + std::to_string(c.lineBaud) + "\n";
        EXPECT_TRUE(!c.reason.empty() || sim.Finish().ends_with(stats)) << sim.Out();
        // The file's data where the job wrote it, and nothing at all after a refused connect.
        std::stringstream image;
        image << std::ifstream(sim.image, std::ios::binary).rdbuf();
        for (size_t i = 0; i < std::size(kRecords) && (c.reason.empty() || !bConnected); ++i) {
            std::vector<uint8_t> data = Stored(kRecords[i], bConnected && (c.landed < 0 || int(i) < c.landed));
            EXPECT_EQ(image.str().substr(kRecords[i].address, data.size()), std::string(data.begin(), data.end()));
        }
    }
    if (c.reason.empty()) {
        EXPECT_EQ(reads[1], reads[0]);
    }
    // A record costs a write, the write wait and a read; a connect's own count varies by a few with
    // timing (zeros sent before "BBIO1" is seen).
    if (c.roundTrips) {
        EXPECT_LE((RoundTrips(c, 64) - RoundTrips(c, 0)) / 64.0, c.roundTrips + 0.1);
    }
}

std::vector<Job> AllJobs()
{
    auto noVoltage = [](const char* version) {
        return std::string(": the bus acknowledges every address: firmware v") + version
            + " of this Bus Pirate v4 cannot switch its pull-up voltage on: upgrade the firmware (6.3 or later) or "
              "feed Vpu from outside";
    };
    auto v3 = [](const char* build) {
        return std::vector<std::string> { "--firmware", build, "--rx-fifo", "4", "--latency-us", "1500" };
    };
    auto v4 = [](const char* build, std::vector<std::string> more = {}) {
        more.insert(more.begin(), { "--hardware", "v4", "--firmware", build, "--latency-us", "4500" });
        return more;
    };
    std::vector<Job> jobs = { { "OldFirmwareStaysAt115200", { "--no-baud-change", "--rx-fifo", "4" }, "", 115200 },
        { "Busy", { "--write-cycle-ms", "60000" }, "", 2000000, nullptr, "", 1 },
        { "WrongPins", { "--a1", "high" }, "", 2000000, nullptr, "", 0 },
        { "NoPort", {}, "COM20: no such serial port (set I2CADAPTER_COM20 or plug in the adapter)", 0,
            "I2CADAPTER_COM20", "" },
        // A HydraBus's own weak pull-ups must not hide that the bus has none.
        { "NoPullups", { "--hardware", "hydrabus", "--no-pullups" },
            ": the bus acknowledges every address: check the pull-ups and the wiring" },
        { "Mute", { "--mute-after", "0" }, ": no Bus Pirate answered" },
        { "MutedHalfWay", { "--mute-after", "150" }, ": the adapter stopped answering" },
        { "UnpluggedHalfWay", { "--hangup-after", "150" }, ": the adapter was unplugged" },
        // Every board with each firmware build that acts differently on it, some at another line or bus
        // speed. A v3 polls a four-byte receive FIFO: the read command follows the address at once only
        // where the bus keeps up with the line, at 400 kHz on 115200 baud; at 5 kHz, or at 1 or 2 Mbaud,
        // the address goes first.
        { "V3Fw61At5kHz", v3("6.1"), "", 2000000, "I2CADAPTER_SPEED", "5", -1, 3 },
        { "V3Fw63", v3("6.3"), "", 2000000, nullptr, "", -1, 3 },
        { "V3Fw70At115200", v3("7.0"), "", 115200, "I2CADAPTER_BAUD", "115200", -1, 2 },
        { "V3Fw71Of2017", v3("7.1-2017"), "", 2000000, nullptr, "", -1, 3 },
        { "V3Fw71At1Mbaud", v3("7.1"), "", 1000000, "I2CADAPTER_BAUD", "1000000", -1, 3 },
        { "V3Fw80", v3("8.0"), "", 2000000, nullptr, "", -1, 3 },
        // Before 6.3 a v4 cannot feed its pull-ups itself.
        { "V4Fw62", v4("6.2"), noVoltage("6.2") },
        { "V4Fw62VpuFedFromOutside", v4("6.2", { "--external-vpu" }), "", 115200, nullptr, "", -1, 2 },
        { "V4Fw63", v4("6.3"), "", 115200, nullptr, "", -1, 2 },
        { "V4Fw70", v4("7.0"), "", 115200, nullptr, "", -1, 2 }, // no repeated start in its write-then-read
        // No banner, binary mode for good, and seven bits per byte left by a terminal user.
        { "V4Fw71", v4("7.1", { "--bits-per-byte", "7" }), "", 115200, nullptr, "", -1, 2 },
        { "V4Fw80", v4("8.0"), "", 115200, nullptr, "", -1, 2 },
        { "HydraBus", { "--hardware", "hydrabus", "--latency-us", "1000" }, "", 115200, nullptr, "", -1, 2 },
        { "HydraBusAt5kHz", { "--hardware", "hydrabus" },
            ": a HydraBus has no 5 kHz I2C clock: set I2CADAPTER_SPEED to 50, 100 or 400", 0, "I2CADAPTER_SPEED",
            "5" } };
    // From every state a program may leave the adapter in, at its boot speed or left at 2 Mbaud. The
    // zeros that find it complete a bulk write cut short; a write-then-read takes the fill too.
    for (const char* state : { "terminal", "menu", "bbio", "i2c", "sniffer", "bulk-write", "write-then-read" })
        for (const char* baud : { "115200", "2000000" })
            jobs.push_back({ std::string("From") + state + baud,
                { "--initial-state", state, "--initial-baud", baud, "--rx-fifo", "4" }, "", 2000000, nullptr, "", -1, 0,
                std::strstr(state, "write") != nullptr });
    // The same with the bytes that finish a cut-short command and the next ones arriving together.
    jobs.push_back({ "FromwritethenreadMerged2000000",
        { "--initial-state", "write-then-read", "--initial-baud", "2000000", "--rx-fifo", "4", "--read-every-us",
            "4000" },
        "", 2000000, nullptr, "", -1, 0, true });
    for (Job& job : jobs)
        std::erase(job.name, '-');
    return jobs;
}

INSTANTIATE_TEST_SUITE_P(Adapter, Jobs, testing::ValuesIn(AllJobs()), [](const auto& info) { return info.param.name; });

} // namespace
