// The timing model on the model's own clock (nothing here measures real time): UART pacing at the
// serial speed of the moment (a v4's USB has none), bus speed, reply latency and round trips, and
// the v3 receive FIFO that overruns when a host sends faster than the firmware takes its bytes.
#include "ModelHarness.h"

#include <gtest/gtest.h>

namespace {

constexpr uint64_t kU = BusPirateModel::kUartByteNs;

TEST(SimTiming, RepliesArePacedByTheUart)
{
    BusPirateConfig config;
    config.initial = AdapterState::Bbio;
    ModelHarness h(config);
    uint64_t sent = h.now;
    EXPECT_EQ(h.Send({ 0x00 }), Text("BBIO1"));
    EXPECT_EQ(h.lastLeave - sent, 5 * kU);
    // Twenty zeros in one burst arrive one frame apart; the reply follows the last.
    ModelHarness t;
    sent = t.now;
    t.Send(Bytes(20, 0x00));
    EXPECT_EQ(t.lastLeave - sent, 19 * kU + 5 * kU);
}

struct LineCase {
    const char* name;
    bool bV4;
    uint32_t initialBaud;
    Bytes setup; // sent paced from the prompt
    uint64_t byteNs;
};

class LineSpeed : public testing::TestWithParam<LineCase> { };

TEST_P(LineSpeed, PacesRepliesAtTheSpeedOfTheMoment)
{
    BusPirateConfig config;
    config.bV4 = GetParam().bV4;
    config.initialBaud = GetParam().initialBaud;
    ModelHarness h(config);
    h.SendPaced(GetParam().setup);
    ASSERT_EQ(h.model.State(), AdapterState::Terminal);
    EXPECT_EQ(h.model.LineByteNs(), GetParam().byteNs);
    uint64_t sent = h.now;
    EXPECT_EQ(h.Send(Text("\r")), Text("\r\nHiZ>"));
    EXPECT_EQ(h.lastLeave - sent, 6 * GetParam().byteNs);
}

const Bytes kTo2Mbaud = Text("b\n10\n1\n ");

INSTANTIATE_TEST_SUITE_P(Sim, LineSpeed,
    testing::Values(LineCase { "Boot", false, 115200, {}, kU },
        LineCase { "RawDivisor1", false, 115200, kTo2Mbaud, 5000 },
        LineCase { "RawDivisor3", false, 115200, Text("b\n10\n3\n "), 10000 },
        LineCase { "MenuChoice9600", false, 115200, Text("b\n5\n "), 1041667 },
        LineCase { "LeftFastByAnEarlierProgram", false, 2000000, {}, 5000 },
        LineCase { "ResetCommandRestoresTheBootSpeed", false, 115200, Cat(kTo2Mbaud, Text("#\n")), kU },
        LineCase { "LeavingBinaryModeResets", false, 115200, Cat(Cat(kTo2Mbaud, Bytes(20, 0)), { 0x0F }), kU },
        LineCase { "V4IsUsb", true, 115200, {}, BusPirateModel::kUsbByteNs },
        LineCase { "V4IgnoresTheSpeedDialog", true, 115200, kTo2Mbaud, BusPirateModel::kUsbByteNs }),
    CaseName());

// A pty carries the host's speed setting: bytes sent at another speed than the v3's UART runs at
// are lost (framing errors); a v4 has no UART to disagree with.
struct HostSpeedCase {
    const char* name;
    bool bV4;
    uint32_t adapterBaud;
    uint32_t hostBaud;
    bool bAnswered;
};

class HostSpeed : public testing::TestWithParam<HostSpeedCase> { };

TEST_P(HostSpeed, MustMatchTheV3sUart)
{
    BusPirateConfig config;
    config.bV4 = GetParam().bV4;
    config.initialBaud = GetParam().adapterBaud;
    config.initial = AdapterState::Bbio;
    ModelHarness h(config);
    h.model.SetHostBaud(GetParam().hostBaud);
    EXPECT_EQ(h.Send({ 0x00, 0x01 }), GetParam().bAnswered ? Text("BBIO1SPI1") : Bytes {});
    EXPECT_EQ(h.model.DroppedBytes(), GetParam().bAnswered ? 0u : 2u);
}

INSTANTIATE_TEST_SUITE_P(Sim, HostSpeed,
    testing::Values(HostSpeedCase { "BothAtBootSpeed", false, 115200, 115200, true },
        HostSpeedCase { "HostSlower", false, 2000000, 115200, false },
        HostSpeedCase { "HostFaster", false, 115200, 2000000, false },
        HostSpeedCase { "BothFast", false, 2000000, 2000000, true },
        HostSpeedCase { "HostSpeedUnknown", false, 2000000, 0, true },
        HostSpeedCase { "V4TakesAnySpeed", true, 115200, 2000000, true }),
    CaseName());

struct SpeedCase {
    uint8_t command;
    uint64_t clockNs;
};

class BusSpeed : public testing::TestWithParam<SpeedCase> { };

TEST_P(BusSpeed, AWrittenByteTakesNineClocks)
{
    ModelHarness h;
    h.EnterI2c();
    h.Send({ GetParam().command });
    uint64_t sent = h.now;
    EXPECT_EQ(h.Send({ 0x10, 0xA0 }), Bytes({ 0x01, 0x01 }));
    // The data byte arrives one frame after the command, goes on the bus, then its ACK is sent.
    EXPECT_EQ(h.lastLeave - sent, kU + 9 * GetParam().clockNs + kU);
    EXPECT_EQ(h.model.BusBytes(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Sim, BusSpeed,
    testing::Values(
        SpeedCase { 0x60, 200000 }, SpeedCase { 0x61, 20000 }, SpeedCase { 0x62, 10000 }, SpeedCase { 0x63, 2500 }));

struct LatencyCase {
    const char* name;
    uint64_t latencyUs;
    std::vector<Bytes> batches; // each sent after every reply to the previous one has arrived
    uint64_t roundTrips;
};

class Latency : public testing::TestWithParam<LatencyCase> { };

TEST_P(Latency, CountsTheRoundTripsAHostWaits)
{
    BusPirateConfig config;
    config.initial = AdapterState::I2c;
    config.latencyNs = GetParam().latencyUs * 1000;
    ModelHarness h(config);
    for (const Bytes& batch : GetParam().batches) {
        uint64_t sent = h.now;
        h.Send(batch);
        // A burst leaves no sooner than the latency after its first byte was ready.
        EXPECT_GE(h.lastLeave - sent, kU + config.latencyNs);
    }
    EXPECT_EQ(h.model.RoundTrips(), GetParam().roundTrips);
}

INSTANTIATE_TEST_SUITE_P(Sim, Latency,
    testing::Values(LatencyCase { "OneCommand", 0, { { 0x01 } }, 1 },
        LatencyCase { "PacedCommands", 1500, { { 0x02 }, { 0x10, 0xA0 }, { 0x03 } }, 3 },
        LatencyCase { "PipelinedCommands", 1500, { { 0x02, 0x10, 0xA0, 0x10, 0x00, 0x03 } }, 1 },
        LatencyCase { "PipelinedWithoutLatency", 0, { { 0x02, 0x10, 0xA0, 0x10, 0x00, 0x03 } }, 1 },
        LatencyCase { "WriteThenReadAndStop", 4500, { { 0x08, 0, 3, 0, 16, 0xA0, 0, 0 }, { 0x03 } }, 2 }),
    CaseName());

TEST(SimTiming, LatencyHoldsABurstTogether)
{
    BusPirateConfig config;
    config.initial = AdapterState::Bbio;
    config.latencyNs = 1000000;
    ModelHarness h(config);
    uint64_t sent = h.now;
    h.model.Receive(Bytes { 0x00 }.data(), 1, sent);
    Bytes out;
    EXPECT_EQ(h.model.TakeDue(sent + kU + 999999, out), 0u);
    EXPECT_EQ(h.model.TakeDue(sent + kU + 1000000, out), 5u);
}

struct OverrunCase {
    const char* name;
    AdapterState initial;
    Bytes setup; // sent paced
    Bytes burst; // sent at once
    bool bOverrun;
    uint32_t baud = 115200;
    bool bV4 = false;
};

class Overrun : public testing::TestWithParam<OverrunCase> { };

TEST_P(Overrun, FourByteFifoOfTheV3)
{
    BusPirateConfig config;
    config.initial = GetParam().initial;
    config.rxFifo = 4;
    config.initialBaud = GetParam().baud;
    config.bV4 = GetParam().bV4;
    ModelHarness h(config);
    h.SendPaced(GetParam().setup);
    h.Send(GetParam().burst);
    EXPECT_EQ(h.model.Overrun(), GetParam().bOverrun);
    EXPECT_EQ(h.model.Hung(), GetParam().bOverrun);
    // Hung for good: nothing answers any more.
    if (GetParam().bOverrun) {
        EXPECT_TRUE(h.SendPaced({ 0x01, 0x00 }).empty());
    }
}

const Bytes kBulkWrite16 = Cat({ 0x1F }, Bytes(16, 0xA5));
const Bytes kWriteThenRead256 = Cat({ 0x08, 0x01, 0x00, 0x00, 0x00 }, Bytes(256, 0x00));
// A random read of firmware 6: start and bulk write of the address, then the read command.
const Bytes kAddress = { 0x02, 0x12, 0xA0, 0x00, 0x10 };
const Bytes kAddressAndRead = Cat(kAddress, { 0x08, 0, 1, 0, 16, 0xA1 });

INSTANTIATE_TEST_SUITE_P(Sim, Overrun,
    testing::Values(
        // Each BBIO1 takes five frames while zeros keep coming one frame apart.
        OverrunCase { "ZerosBackToBackInBinaryMode", AdapterState::Bbio, {}, Bytes(10, 0x00), true },
        OverrunCase { "TwentyZerosAtThePrompt", AdapterState::Terminal, {}, Bytes(20, 0x00), false },
        OverrunCase { "BulkWriteAt400kHz", AdapterState::I2c, { 0x63 }, kBulkWrite16, false },
        OverrunCase { "BulkWriteAt50kHz", AdapterState::I2c, { 0x61 }, kBulkWrite16, true },
        OverrunCase { "WriteThenReadPayload", AdapterState::I2c, { 0x60 }, kWriteThenRead256, false },
        OverrunCase { "FourCommandsInFlight", AdapterState::I2c, {}, { 0x02, 0x10, 0xA0, 0x03 }, false },
        OverrunCase { "ManyCommandsInFlight", AdapterState::I2c, {}, Bytes(12, 0x01), true },
        // At 2 Mbaud a byte comes every 5 us: the line outruns the bus, but not the write-then-read
        // payload loop, nor a start and a bulk write with three bytes behind them, even at 5 kHz.
        OverrunCase { "BulkWriteAt2Mbaud", AdapterState::I2c, { 0x63 }, kBulkWrite16, true, 2000000 },
        OverrunCase { "WriteThenReadPayloadAt2Mbaud", AdapterState::I2c, { 0x60 }, kWriteThenRead256, false, 2000000 },
        OverrunCase { "AddressAt5kHzAt2Mbaud", AdapterState::I2c, { 0x60 }, kAddress, false, 2000000 },
        OverrunCase { "AddressAndReadAt115200", AdapterState::I2c, { 0x63 }, kAddressAndRead, false },
        OverrunCase { "AddressAndReadAt2Mbaud", AdapterState::I2c, { 0x63 }, kAddressAndRead, true, 2000000 },
        OverrunCase { "V4HasUsbFlowControl", AdapterState::I2c, {}, Bytes(12, 0x01), false, 115200, true }),
    CaseName());

TEST(SimTiming, PromptOverrunLosesBytesButGoesOn)
{
    BusPirateConfig config;
    config.rxFifo = 4;
    ModelHarness h(config);
    h.Send(Bytes(10, '\r'));
    EXPECT_GT(h.model.DroppedBytes(), 0u);
    EXPECT_FALSE(h.model.Hung());
    EXPECT_EQ(h.SendPaced(Bytes(20, 0x00)), Text("BBIO1"));
}

} // namespace
