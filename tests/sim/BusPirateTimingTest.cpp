// The timing model on the model's own clock (nothing here measures real time): UART pacing, bus
// speed, reply latency and round trips, and the v3 receive FIFO that overruns when a host sends
// faster than the firmware takes its bytes.
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
};

class Overrun : public testing::TestWithParam<OverrunCase> { };

TEST_P(Overrun, FourByteFifoOfTheV3)
{
    BusPirateConfig config;
    config.initial = GetParam().initial;
    config.rxFifo = 4;
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

INSTANTIATE_TEST_SUITE_P(Sim, Overrun,
    testing::Values(
        // Each BBIO1 takes five frames while zeros keep coming one frame apart.
        OverrunCase { "ZerosBackToBackInBinaryMode", AdapterState::Bbio, {}, Bytes(10, 0x00), true },
        OverrunCase { "TwentyZerosAtThePrompt", AdapterState::Terminal, {}, Bytes(20, 0x00), false },
        OverrunCase { "BulkWriteAt400kHz", AdapterState::I2c, { 0x63 }, kBulkWrite16, false },
        OverrunCase { "BulkWriteAt50kHz", AdapterState::I2c, { 0x61 }, kBulkWrite16, true },
        OverrunCase { "WriteThenReadPayload", AdapterState::I2c, { 0x60 }, kWriteThenRead256, false },
        OverrunCase { "FourCommandsInFlight", AdapterState::I2c, {}, { 0x02, 0x10, 0xA0, 0x03 }, false },
        OverrunCase { "ManyCommandsInFlight", AdapterState::I2c, {}, Bytes(12, 0x01), true }),
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
