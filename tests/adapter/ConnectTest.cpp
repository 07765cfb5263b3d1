// Connecting to the emulator from every state an adapter may be found in, and refusing a bus
// that cannot work.
#include "AdapterHarness.h"
#include "i2c_adapter.h"

#include <chrono>
#include <gtest/gtest.h>
#include <tuple>

using StartState = std::tuple<const char*, const char*>; // --initial-state, --hardware

class ConnectFrom : public testing::TestWithParam<StartState> { };

TEST_P(ConnectFrom, ReachesRawI2cAndTransfers)
{
    auto [state, hardware] = GetParam();
    std::vector<std::string> args = { "--initial-state", state, "--hardware", hardware };
    if (std::string(hardware) == "v3")
        args.insert(args.end(), { "--rx-fifo", "4" });
    SimProcess sim(args);
    ScopedEnv env;
    ASSERT_TRUE(ConnectTo(sim, env, "1")) << i2c_last_error();
    std::vector<uint8_t> data = Pattern(0x1230, 16);
    WriteRecord(0x1230, data, 5);
    EXPECT_EQ(ReadRecord(0x1230, 16), data);
    i2c_disconnect();
    EXPECT_STREQ(i2c_last_error(), "");
}

INSTANTIATE_TEST_SUITE_P(Adapter, ConnectFrom,
    testing::Combine(testing::Values("terminal", "menu", "bbio", "i2c", "sniffer", "bulk-write", "write-then-read"),
        testing::Values("v3", "v4")));

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
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(i2c_last_error(), sim.Link() + GetParam().reason);
    i2c_disconnect();
}

INSTANTIATE_TEST_SUITE_P(Adapter, ConnectFails,
    testing::Values(
        Unusable { { "--no-pullups" }, ": the bus acknowledges every address: check the pull-ups and the wiring" },
        Unusable { { "--mute-after", "0" }, ": no Bus Pirate answered" }));

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
