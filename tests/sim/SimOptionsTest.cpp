// The at24sim command line: what it accepts and what it refuses.
#include "SimOptions.h"

#include <gtest/gtest.h>

namespace {

bool Parse(std::vector<const char*> args, SimOptions& options, std::string& error)
{
    args.insert(args.begin(), "at24sim");
    return ParseSimOptions(static_cast<int>(args.size()), args.data(), options, error);
}

struct RefusedCase {
    const char* name;
    std::vector<const char*> args;
};

class Refused : public testing::TestWithParam<RefusedCase> { };

TEST_P(Refused, WithAReason)
{
    SimOptions options;
    std::string error;
    EXPECT_FALSE(Parse(GetParam().args, options, error));
    EXPECT_FALSE(error.empty());
}

INSTANTIATE_TEST_SUITE_P(Sim, Refused,
    testing::Values(RefusedCase { "NoLink", {} }, RefusedCase { "MissingValue", { "--link" } },
        RefusedCase { "UnknownOption", { "--link", "l", "--speed", "1" } },
        RefusedCase { "StrayArgument", { "--link", "l", "extra" } },
        RefusedCase { "PinLevel", { "--link", "l", "--a0", "1" } },
        RefusedCase { "Firmware", { "--link", "l", "--firmware", "5" } },
        RefusedCase { "AddressTooBig", { "--link", "l", "--stuck", "0x20000" } },
        RefusedCase { "StuckTakesNoCount", { "--link", "l", "--stuck", "5:2" } },
        RefusedCase { "NotANumber", { "--link", "l", "--latency-us", "12ms" } },
        RefusedCase { "HexWithoutDigits", { "--link", "l", "--rx-fifo", "0x" } },
        RefusedCase { "State", { "--link", "l", "--initial-state", "uart" } },
        RefusedCase { "CountOnWrongState", { "--link", "l", "--initial-state", "bbio:3" } },
        RefusedCase { "PendingTooMany", { "--link", "l", "--initial-state", "write-then-read:4097" } },
        RefusedCase { "BaudTooLow", { "--link", "l", "--initial-baud", "299" } },
        RefusedCase { "BaudAboveTheBaudClock", { "--link", "l", "--initial-baud", "4000001" } }),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SimOptions, FullCommandLine)
{
    SimOptions options;
    std::string error;
    ASSERT_TRUE(Parse({ "--link", "/tmp/l", "--image", "i.bin", "--a0", "high", "--a1", "high", "--write-cycle-ms",
                          "10", "--corrupt", "0x100:3", "--corrupt", "7", "--stuck", "0x1FFFF", "--latency-us", "1500",
                          "--hangup-after", "100", "--mute-after", "0x40", "--rx-fifo", "4", "--firmware", "6",
                          "--hardware", "v4", "--no-pullups", "--initial-state", "write-then-read:19", "--stats",
                          "--trace", "t.log", "--initial-baud", "2000000", "--no-baud-change" },
        options, error))
        << error;
    EXPECT_EQ(options.pins, 0x0C);
    ASSERT_EQ(options.faults.size(), 3u);
    EXPECT_EQ(options.faults[0].address, 0x100u);
    EXPECT_EQ(options.faults[0].count, 3);
    EXPECT_EQ(options.faults[1].count, 1);
    EXPECT_EQ(options.faults[2].count, -1); // stuck: every time
    EXPECT_EQ(options.bus.latencyNs, 1500000u);
    EXPECT_EQ(options.bus.muteAfter, 0x40u);
    EXPECT_EQ(options.bus.initial, AdapterState::WriteThenRead);
    EXPECT_EQ(options.bus.pendingWrites, 19u);
    EXPECT_EQ(options.bus.initialBaud, 2000000u);
    EXPECT_TRUE(options.bus.bNoBaudChange);
}

} // namespace
