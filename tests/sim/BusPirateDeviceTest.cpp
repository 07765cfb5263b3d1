// The EEPROM as a host sees it through the adapter: byte-level commands and write-then-read on both
// firmware versions, pins, the P0 bit, page wrap, the 17-bit read counter, busy time and bus faults.
#include "ModelHarness.h"

#include <gtest/gtest.h>

namespace {

struct ScriptCase {
    const char* name;
    Bytes script; // sent in I2C mode, powered, pull-ups on (0x4C); one burst
    Bytes expected;
    uint32_t checkAddress = 0; // memory that must hold checkBytes afterwards
    Bytes checkBytes = {};
    int firmware = 7;
    uint8_t pins = 0x00;
    bool bNoPullups = false;
};

class Scripts : public testing::TestWithParam<ScriptCase> { };

TEST_P(Scripts, ReachTheDeviceAsOnTheBench)
{
    const ScriptCase& c = GetParam();
    BusPirateConfig config;
    config.firmware = c.firmware;
    config.bNoPullups = c.bNoPullups;
    ModelHarness h(config);
    h.model.Device().SetPins(c.pins);
    h.model.Device().SetWriteCycleUs(0);
    h.EnterI2c();
    EXPECT_EQ(h.Send(c.script), c.expected);
    EXPECT_TRUE(std::equal(c.checkBytes.begin(), c.checkBytes.end(), h.memory.begin() + c.checkAddress));
}

INSTANTIATE_TEST_SUITE_P(Sim, Scripts,
    testing::Values(
        // Page write of 1, 2 at 0x0010 and a random read of both, one command per bus operation.
        ScriptCase { "ByteLevel",
            { 0x02, 0x10, 0xA0, 0x10, 0x00, 0x10, 0x10, 0x10, 0x01, 0x10, 0x02, 0x03, 0x02, 0x10, 0xA0, 0x10, 0x00,
                0x10, 0x10, 0x02, 0x10, 0xA1, 0x04, 0x06, 0x04, 0x07, 0x03 },
            { 1, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 1, 1, 0, 1, 0, 1, 0, 1, 1, 0, 1, 1, 2, 1, 1 }, 0x10, { 1, 2 } },
        // A second 0x04 without ACK/NACK in between: its first clock is taken as NACK, the device lets go.
        ScriptCase { "ReadWithoutAck",
            { 0x08, 0, 4, 0, 0, 0xA0, 0, 0, 0x10, 0x02, 0x10, 0xA0, 0x10, 0, 0x10, 0, 0x02, 0x10, 0xA1, 0x04, 0x04,
                0x07, 0x03 },
            { 1, 1, 1, 0, 1, 0, 1, 0, 1, 1, 0, 0x10, 0xFF, 1, 1 } },
        ScriptCase { "Pins", { 0x08, 0, 4, 0, 0, 0xAC, 2, 0, 9, 0x08, 0, 3, 0, 1, 0xA0, 0, 0 }, { 1, 0 }, 0x200, { 9 },
            7, 0x0C },
        ScriptCase { "UpperHalfViaP0", { 0x08, 0, 4, 0, 0, 0xA2, 0xFF, 0xF0, 5 }, { 1 }, 0x1FFF0, { 5 } },
        // Past the page end a write wraps to the start of the same page.
        ScriptCase { "PageWrap", { 0x08, 0, 7, 0, 0, 0xA0, 1, 0xFE, 1, 2, 3, 4 }, { 1 }, 0x100, { 3, 4 } },
        ScriptCase { "ReadCrossesIntoUpperHalf",
            { 0x08, 0, 4, 0, 0, 0xA0, 0xFF, 0xFF, 0x11, 0x08, 0, 4, 0, 0, 0xA2, 0, 0, 0x22, 0x08, 0, 3, 0, 2, 0xA0,
                0xFF, 0xFF },
            { 1, 1, 1, 0x11, 0x22 } },
        // Firmware 7 adds the repeated start and the read select; firmware 6 reads straight on, while
        // the device still takes a write and drives nothing.
        ScriptCase { "RandomReadFw7", { 0x08, 0, 5, 0, 0, 0xA0, 0, 0x10, 7, 8, 0x08, 0, 3, 0, 2, 0xA0, 0, 0x10 },
            { 1, 1, 7, 8 } },
        ScriptCase { "RandomReadFw6", { 0x08, 0, 5, 0, 0, 0xA0, 0, 0x10, 7, 8, 0x08, 0, 3, 0, 2, 0xA0, 0, 0x10 },
            { 1, 1, 0xFF, 0xFF }, 0, {}, 6 },
        ScriptCase { "TwoStepReadFw6",
            { 0x08, 0, 4, 0, 0, 0xA0, 0, 0x10, 7, 0x08, 0, 3, 0, 0, 0xA0, 0, 0x10, 0x08, 0, 1, 0, 1, 0xA1 },
            { 1, 1, 1, 7 }, 0, {}, 6 },
        ScriptCase { "EmptyWriteThenReadFw6", { 0x08, 0, 0, 0, 0 }, { 1 }, 0, {}, 6 },
        // A NACK answers 0x00 and leaves the bus without a stop.
        ScriptCase { "NackedSelect", { 0x08, 0, 3, 0, 1, 0xA8, 0, 0x10 }, { 0 } },
        ScriptCase { "WrongPins", { 0x02, 0x10, 0xA1, 0x04, 0x07, 0x03 }, { 1, 1, 1, 0xFF, 1, 1 }, 0, {}, 7, 0x04 },
        ScriptCase { "PowerOff", { 0x44, 0x02, 0x10, 0xA1, 0x04, 0x07, 0x03 }, { 1, 1, 1, 1, 0xFF, 1, 1 } },
        // Without pull-ups both lines read low: every address acknowledges, every byte is zero.
        ScriptCase { "PullupsOff", { 0x48, 0x02, 0x10, 0xFF, 0x04, 0x07, 0x03 }, { 1, 1, 1, 0, 0, 1, 1 } },
        ScriptCase {
            "NoPullupsOnTheBus", { 0x02, 0x10, 0xFF, 0x04, 0x07, 0x03 }, { 1, 1, 0, 0, 1, 1 }, 0, {}, 7, 0, true }),
    CaseName());

TEST(SimDevice, BusyAfterAWriteUntilItsCycleEnds)
{
    ModelHarness h;
    h.EnterI2c();
    EXPECT_EQ(h.Send({ 0x08, 0, 4, 0, 0, 0xA0, 0, 0, 1 }), Bytes { 1 });
    EXPECT_EQ(h.Send({ 0x02, 0x10, 0xA0, 0x03 }), Bytes({ 1, 1, 1, 1 }));
    h.WaitMs(5);
    EXPECT_EQ(h.Send({ 0x02, 0x10, 0xA0, 0x03 }), Bytes({ 1, 1, 0, 1 }));
    EXPECT_EQ(h.model.PageWrites(), 1u);
}

} // namespace
