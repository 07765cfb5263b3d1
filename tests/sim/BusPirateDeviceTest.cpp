// The EEPROM as a host sees it through the adapter: byte-level commands and write-then-read, pins,
// the P0 bit, page wrap, the busy time after a write, and the bus faults.
#include "ModelHarness.h"

#include <gtest/gtest.h>

namespace {

// 0x10-framed single-byte writes: each answers 0x01 then its ACK bit.
Bytes WriteBytes(const Bytes& data)
{
    Bytes out;
    for (uint8_t byte : data)
        out = Cat(out, { 0x10, byte });
    return out;
}

Bytes WriteAcks(size_t count, uint8_t ack = 0x00)
{
    Bytes out;
    for (size_t i = 0; i < count; ++i)
        out = Cat(out, { 0x01, ack });
    return out;
}

Bytes PageWrite(uint8_t select, uint16_t address, const Bytes& data)
{
    return Cat(Cat({ 0x02 }, WriteBytes(Cat({ select, uint8_t(address >> 8), uint8_t(address) }, data))), { 0x03 });
}

// Random read of count bytes, byte by byte, each read followed by its ACK or NACK.
Bytes RandomRead(uint8_t select, uint16_t address, size_t count)
{
    Bytes out = Cat({ 0x02 }, WriteBytes({ select, uint8_t(address >> 8), uint8_t(address) }));
    out = Cat(Cat(out, { 0x02 }), WriteBytes({ uint8_t(select | 1) }));
    for (size_t i = 0; i < count; ++i)
        out = Cat(out, { 0x04, uint8_t(i + 1 < count ? 0x06 : 0x07) });
    return Cat(out, { 0x03 });
}

// Only the data bytes of a RandomRead reply.
Bytes ReadData(const Bytes& reply, size_t count)
{
    Bytes data;
    for (size_t i = 0; i < count; ++i)
        data.push_back(reply[1 + 6 + 1 + 2 + 2 * i]);
    return data;
}

struct TransferCase {
    const char* name;
    uint8_t pins;
    uint8_t select;
    uint32_t address; // 17 bits: where the bytes should land
    Bytes data;
    Bytes stored; // what memory holds from address on afterwards
};

std::ostream& operator<<(std::ostream& os, const TransferCase& c)
{
    return os << c.name;
}

class Transfers : public testing::TestWithParam<TransferCase> { };

TEST_P(Transfers, PageWriteLandsAndReadsBack)
{
    const TransferCase& c = GetParam();
    ModelHarness h;
    h.model.Device().SetPins(c.pins);
    h.EnterI2c();
    Bytes reply = h.Send(PageWrite(c.select, uint16_t(c.address), c.data));
    EXPECT_EQ(reply, Cat(Cat({ 0x01 }, WriteAcks(3 + c.data.size())), { 0x01 }));
    EXPECT_TRUE(std::equal(c.stored.begin(), c.stored.end(), h.memory.begin() + c.address));
    h.WaitMs(6);
    reply = h.Send(RandomRead(c.select, uint16_t(c.address), c.stored.size()));
    EXPECT_EQ(ReadData(reply, c.stored.size()), c.stored);
}

INSTANTIATE_TEST_SUITE_P(Sim, Transfers,
    testing::Values(TransferCase { "Plain", 0x00, 0xA0, 0x0010, { 1, 2, 3 }, { 1, 2, 3, 0xFF } },
        TransferCase { "PinA0", 0x04, 0xA4, 0x0200, { 9 }, { 9 } },
        TransferCase { "PinA1", 0x08, 0xA8, 0x0300, { 8 }, { 8 } },
        TransferCase { "UpperHalfViaP0", 0x00, 0xA2, 0x1FFF0, { 5, 6 }, { 5, 6 } }),
    testing::PrintToStringParamName());

// Past the page end a write wraps to the start of the same page.
TEST(SimDevice, PageWrapLandsAtThePageStart)
{
    ModelHarness h;
    h.EnterI2c();
    h.Send(PageWrite(0xA0, 0x01FE, { 1, 2, 3, 4 }));
    EXPECT_EQ(Bytes(h.memory.begin() + 0x100, h.memory.begin() + 0x102), Bytes({ 3, 4 }));
}

TEST(SimDevice, SequentialReadCrossesIntoTheUpperHalf)
{
    ModelHarness h;
    h.memory[0xFFFF] = 0x11;
    h.memory[0x10000] = 0x22;
    h.EnterI2c();
    EXPECT_EQ(ReadData(h.Send(RandomRead(0xA0, 0xFFFF, 2)), 2), Bytes({ 0x11, 0x22 }));
}

struct FaultCase {
    const char* name;
    uint8_t pins; // the device's pins
    uint8_t select;
    uint8_t peripherals; // the 0x4x command sent after entering I2C mode
    bool bNoPullups;
    uint8_t selectAck; // 0x00 ACK, 0x01 NACK
    uint8_t readValue; // a byte read after the select
};

std::ostream& operator<<(std::ostream& os, const FaultCase& c)
{
    return os << c.name;
}

class BusFaults : public testing::TestWithParam<FaultCase> { };

TEST_P(BusFaults, SelectAndReadSeeTheBus)
{
    const FaultCase& c = GetParam();
    BusPirateConfig config;
    config.bNoPullups = c.bNoPullups;
    ModelHarness h(config);
    h.memory[0] = 0x5A;
    h.model.Device().SetPins(c.pins);
    h.Send(Bytes(20, 0x00));
    h.Send({ 0x02, c.peripherals });
    EXPECT_EQ(h.Send({ 0x02, 0x10, uint8_t(c.select | 1), 0x04, 0x07, 0x03 }),
        Bytes({ 0x01, 0x01, c.selectAck, c.readValue, 0x01, 0x01 }));
}

INSTANTIATE_TEST_SUITE_P(Sim, BusFaults,
    testing::Values(FaultCase { "Answers", 0x00, 0xA0, 0x4C, false, 0x00, 0x5A },
        FaultCase { "WrongPins", 0x04, 0xA0, 0x4C, false, 0x01, 0xFF },
        FaultCase { "NotAnEeprom", 0x00, 0xFE, 0x4C, false, 0x01, 0xFF },
        FaultCase { "PowerOff", 0x00, 0xA0, 0x44, false, 0x01, 0xFF },
        // Without pull-ups both lines read low: every address acknowledges, every byte is zero.
        FaultCase { "PullupsOff", 0x00, 0xFE, 0x48, false, 0x00, 0x00 },
        FaultCase { "NoPullupsOnTheBus", 0x00, 0xFE, 0x4C, true, 0x00, 0x00 }),
    testing::PrintToStringParamName());

TEST(SimDevice, BusyAfterAWriteUntilItsCycleEnds)
{
    ModelHarness h;
    h.model.Device().SetWriteCycleUs(5000);
    h.EnterI2c();
    h.Send(PageWrite(0xA0, 0, { 1 }));
    EXPECT_EQ(h.Send({ 0x02, 0x10, 0xA0, 0x03 }), Bytes({ 0x01, 0x01, 0x01, 0x01 }));
    h.WaitMs(5);
    EXPECT_EQ(h.Send({ 0x02, 0x10, 0xA0, 0x03 }), Bytes({ 0x01, 0x01, 0x00, 0x01 }));
    EXPECT_EQ(h.model.PageWrites(), 1u);
}

TEST(SimDevice, ReadWithoutAckLeavesTheDeviceSilent)
{
    ModelHarness h;
    h.memory[0] = 0x10;
    h.memory[1] = 0x20;
    h.EnterI2c();
    // The second 0x04 takes its first clock as the missing NACK: the device stops driving.
    Bytes reply = h.Send({ 0x02, 0x10, 0xA0, 0x10, 0x00, 0x10, 0x00, 0x02, 0x10, 0xA1, 0x04, 0x04, 0x07, 0x03 });
    EXPECT_EQ(Bytes(reply.begin() + 10, reply.begin() + 12), Bytes({ 0x10, 0xFF }));
}

struct WriteThenReadCase {
    const char* name;
    int firmware;
    Bytes command;
    Bytes expected;
};

std::ostream& operator<<(std::ostream& os, const WriteThenReadCase& c)
{
    return os << c.name;
}

class WriteThenRead : public testing::TestWithParam<WriteThenReadCase> { };

TEST_P(WriteThenRead, FollowsTheFirmwareVersion)
{
    BusPirateConfig config;
    config.firmware = GetParam().firmware;
    ModelHarness h(config);
    for (int i = 0; i < 4; ++i)
        h.memory[0x10 + i] = uint8_t(0xC0 + i);
    h.EnterI2c();
    EXPECT_EQ(h.Send(GetParam().command), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Sim, WriteThenRead,
    testing::Values(
        // Firmware 7 adds the repeated start and the read select itself.
        WriteThenReadCase { "RandomReadFw7", 7, { 0x08, 0, 3, 0, 2, 0xA0, 0x00, 0x10 }, { 0x01, 0xC0, 0xC1 } },
        // Firmware 6 reads straight on: the device is still taking a write and drives nothing.
        WriteThenReadCase { "RandomReadFw6", 6, { 0x08, 0, 3, 0, 2, 0xA0, 0x00, 0x10 }, { 0x01, 0xFF, 0xFF } },
        WriteThenReadCase { "TwoStepReadFw6", 6, { 0x08, 0, 3, 0, 0, 0xA0, 0x00, 0x11, 0x08, 0, 1, 0, 2, 0xA1 },
            { 0x01, 0x01, 0xC1, 0xC2 } },
        WriteThenReadCase { "EmptyFw6", 6, { 0x08, 0, 0, 0, 0 }, { 0x01 } },
        // A NACK answers 0x00 and leaves the bus without a stop.
        WriteThenReadCase { "NackedSelect", 7, { 0x08, 0, 3, 0, 1, 0xA8, 0x00, 0x10 }, { 0x00 } },
        WriteThenReadCase { "PageWrite", 7, { 0x08, 0, 4, 0, 0, 0xA0, 0x00, 0x10, 0x77 }, { 0x01 } }),
    testing::PrintToStringParamName());

} // namespace
