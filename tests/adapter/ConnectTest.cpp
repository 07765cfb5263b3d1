// Connecting to the emulator from every state (and serial speed) an adapter may be found in, the
// serial speed it then runs at, and refusing a bus that cannot work.
#include "AdapterHarness.h"
#include "i2c_adapter.h"

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <tuple>

using StartState = std::tuple<const char*, const char*, const char*>; // --initial-state, --hardware, --initial-baud

class ConnectFrom : public testing::TestWithParam<StartState> { };

TEST_P(ConnectFrom, ReachesRawI2cAndTransfers)
{
    auto [state, hardware, baud] = GetParam();
    bool bV3 = std::string(hardware) == "v3";
    std::vector<std::string> args
        = { "--initial-state", state, "--hardware", hardware, "--initial-baud", baud, "--stats" };
    if (bV3)
        args.insert(args.end(), { "--rx-fifo", "4" });
    SimProcess sim(args);
    ScopedEnv env;
    ASSERT_TRUE(ConnectTo(sim, env, "1")) << i2c_last_error();
    std::vector<uint8_t> data = Pattern(0x1230, 16);
    WriteRecord(0x1230, data, 5);
    EXPECT_EQ(ReadRecord(0x1230, 16), data);
    i2c_disconnect();
    EXPECT_STREQ(i2c_last_error(), "");
    // A v3 runs at 2 Mbaud and is left at its boot speed, whatever speed it was found at.
    std::string stats = sim.Finish();
    EXPECT_EQ(StatValue(stats, "i2c_baud"), bV3 ? 2000000 : 115200) << stats;
    EXPECT_EQ(StatValue(stats, "line_baud"), 115200) << stats;
    EXPECT_EQ(StatValue(stats, "overrun"), -1);
}

const auto kStates = testing::Values("terminal", "menu", "bbio", "i2c", "sniffer", "bulk-write", "write-then-read");

INSTANTIATE_TEST_SUITE_P(
    Adapter, ConnectFrom, testing::Combine(kStates, testing::Values("v3", "v4"), testing::Values("115200")));
// A program that did not end cleanly may have left a v3 at 2 Mbaud.
INSTANTIATE_TEST_SUITE_P(
    LeftFast, ConnectFrom, testing::Combine(kStates, testing::Values("v3"), testing::Values("2000000")));

struct LineCase {
    const char* name;
    std::vector<std::string> args;
    const char* baud; // I2CADAPTER_BAUD
    long i2cBaud; // the serial speed the transfers ran at
    const char* note = ""; // in the library's trace
    const char* absent = nullptr; // not in it
};

class LineSpeed : public testing::TestWithParam<LineCase> { };

TEST_P(LineSpeed, IsTheFastestBothEndsTake)
{
    TempDir dir;
    SimProcess sim(GetParam().args);
    ScopedEnv env;
    env.Set("I2CADAPTER_TRACE", dir.Path() + "/trace");
    if (*GetParam().baud)
        env.Set("I2CADAPTER_BAUD", GetParam().baud);
    for (const char* pipeline : { "1", "0" }) {
        ASSERT_TRUE(ConnectTo(sim, env, pipeline)) << i2c_last_error();
        std::vector<uint8_t> data = Pattern(0x200, 16);
        WriteRecord(0x200, data, 5);
        EXPECT_EQ(ReadRecord(0x200, 16), data);
        i2c_disconnect();
        EXPECT_STREQ(i2c_last_error(), "");
    }
    std::string stats = sim.Finish();
    EXPECT_EQ(StatValue(stats, "i2c_baud"), GetParam().i2cBaud) << stats;
    EXPECT_EQ(StatValue(stats, "line_baud"), 115200) << stats;
    EXPECT_EQ(StatValue(stats, "overrun"), -1);
    std::stringstream trace;
    trace << std::ifstream(dir.Path() + "/trace").rdbuf();
    EXPECT_NE(trace.str().find(GetParam().note), std::string::npos) << trace.str();
    if (GetParam().absent) {
        EXPECT_EQ(trace.str().find(GetParam().absent), std::string::npos) << trace.str();
    }
}

const std::vector<std::string> kV3 = { "--rx-fifo", "4", "--stats" };

std::vector<std::string> V3With(std::initializer_list<std::string> more)
{
    std::vector<std::string> args = kV3;
    args.insert(args.end(), more);
    return args;
}

INSTANTIATE_TEST_SUITE_P(Adapter, LineSpeed,
    testing::Values(LineCase { "V3Default", kV3, "", 2000000 },
        LineCase { "V3Kept115200", kV3, "115200", 115200, "", "baud" },
        LineCase { "V3At1Mbaud", kV3, "1000000", 1000000 },
        LineCase { "V3Firmware6", V3With({ "--firmware", "6" }), "", 2000000 },
        LineCase { "OldFirmwareRefuses", V3With({ "--no-baud-change" }), "", 115200,
            "2000000 baud not reached: carrying on at 115200" },
        LineCase { "V4IsUsb", { "--hardware", "v4", "--stats" }, "", 115200, "", "baud" },
        LineCase { "LeftAt1MbaudFoundWhenAsked", V3With({ "--initial-baud", "1000000" }), "1000000", 1000000 },
        LineCase { "LeftAt2MbaudBrought115200", V3With({ "--initial-baud", "2000000" }), "115200", 115200 }),
    [](const auto& info) { return std::string(info.param.name); });

struct Unusable {
    std::vector<std::string> args;
    const char* reason;
};

class ConnectFails : public testing::TestWithParam<Unusable> { };

TEST_P(ConnectFails, WithinSecondsAndWithItsReason)
{
    SimProcess sim(GetParam().args);
    ScopedEnv env;
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ConnectTo(sim, env, "1"));
    // Silence is searched at 115200 baud and at 2 Mbaud before the connect gives up.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    EXPECT_EQ(i2c_last_error(), sim.Link() + GetParam().reason);
    i2c_disconnect();
}

INSTANTIATE_TEST_SUITE_P(Adapter, ConnectFails,
    testing::Values(
        Unusable { { "--no-pullups" }, ": the bus acknowledges every address: check the pull-ups and the wiring" },
        Unusable { { "--mute-after", "0" }, ": no Bus Pirate answered" },
        Unusable { { "--initial-baud", "1000000" }, ": no Bus Pirate answered" }));

// Disconnect comes also after a failed connect, and a front end may call it once more.
TEST(Connect, DisconnectIsHarmlessTwice)
{
    SimProcess sim({});
    ScopedEnv env;
    i2c_disconnect();
    ASSERT_TRUE(ConnectTo(sim, env, "1")) << i2c_last_error();
    i2c_disconnect();
    i2c_disconnect();
    EXPECT_EQ(i2c_start(), 0);
    EXPECT_EQ(i2c_read(1), 0xFF);
    EXPECT_STREQ(i2c_last_error(), "");
}
