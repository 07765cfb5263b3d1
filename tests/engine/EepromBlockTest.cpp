#include "EepromBlock.h"
#include "JobSettings.h"
#include "StandInAdapter.h"

#include <chrono>
#include <gtest/gtest.h>

namespace {

using Calls = std::vector<std::string>;

class EepromBlockTest : public testing::Test {
protected:
    void SetUp() override
    {
        bus = &standin::Install();
        bus->bRecord = true;
        JobSettings.AddressMask = 0;
        JobSettings.WriteWait = 0;
    }
    standin::Bus* bus = nullptr;
};

TEST_F(EepromBlockTest, PageWriteAtZeroWithPinsLow)
{
    uint8_t data[] = { 0x11, 0x22 };
    EepromWriteBlock(0, 2, data);
    EXPECT_EQ(bus->calls, (Calls { "S", "W A0", "W 00", "W 00", "W 11", "W 22", "P" }));
}

TEST_F(EepromBlockTest, RandomReadInUpperHalfWithA1PinHigh)
{
    JobSettings.AddressMask = kAddressMaskA1;
    bus->device->SetPins(kAddressMaskA1);
    uint8_t buffer[2];
    EepromReadBlock(0x01FF00, 2, buffer);
    EXPECT_EQ(bus->calls, (Calls { "S", "W AA", "W FF", "W 00", "S", "W AB", "R0", "R1", "P" }));
}

TEST_F(EepromBlockTest, ZeroCountSendsAddressOnlyAndReadsOneByte)
{
    uint8_t buffer[1] = { 0 };
    EepromWriteBlock(0x10, 0, nullptr);
    EepromReadBlock(0x10, 0, buffer);
    EXPECT_EQ(
        bus->calls, (Calls { "S", "W A0", "W 00", "W 10", "P", "S", "W A0", "W 00", "W 10", "S", "W A1", "R1", "P" }));
    EXPECT_EQ(buffer[0], 0xFF);
}

TEST_F(EepromBlockTest, ReadAcknowledgesAllButTheLastByte)
{
    uint8_t buffer[16];
    EepromReadBlock(0, 1, buffer);
    EXPECT_EQ(std::count(bus->calls.begin(), bus->calls.end(), "R1"), 1);
    EXPECT_EQ(std::count(bus->calls.begin(), bus->calls.end(), "R0"), 0);
    bus->calls.clear();
    EepromReadBlock(0, 16, buffer);
    EXPECT_EQ(std::count(bus->calls.begin(), bus->calls.end(), "R0"), 15);
    EXPECT_EQ(bus->calls[bus->calls.size() - 2], "R1");
}

struct SplitCase {
    uint32_t address;
    Calls calls;
    friend void PrintTo(const SplitCase& c, std::ostream* os) { *os << std::hex << c.address; }
};

class PageSplitTest : public EepromBlockTest, public testing::WithParamInterface<SplitCase> { };

TEST_P(PageSplitTest, BlockAcrossAPageIsOneTransactionPerPageAndReadsBackWhole)
{
    uint8_t data[] = { 1, 2, 3, 4 };
    uint32_t address = GetParam().address;
    EepromWriteBlock(address, 4, data);
    EXPECT_EQ(bus->calls, GetParam().calls);
    uint8_t back[4] = {};
    EepromReadBlock(address, 4, back);
    EXPECT_EQ(std::vector<uint8_t>(back, back + 4), std::vector<uint8_t>(data, data + 4));
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(bus->memory[address + i], data[i]);
}

INSTANTIATE_TEST_SUITE_P(Boundaries, PageSplitTest,
    testing::Values(SplitCase { 0x0100, { "S", "W A0", "W 01", "W 00", "W 01", "W 02", "W 03", "W 04", "P" } },
        SplitCase { 0x00FE,
            { "S", "W A0", "W 00", "W FE", "W 01", "W 02", "P", "S", "W A0", "W 01", "W 00", "W 03", "W 04", "P" } },
        SplitCase { 0xFFFE,
            { "S", "W A0", "W FF", "W FE", "W 01", "W 02", "P", "S", "W A2", "W 00", "W 00", "W 03", "W 04", "P" } }));

TEST_F(EepromBlockTest, EachPageWriteIsFollowedByTheWriteWait)
{
    using namespace std::chrono;
    JobSettings.WriteWait = 20;
    uint8_t data[4] = {};
    auto t0 = steady_clock::now();
    EepromWriteBlock(0x10, 4, data);
    auto t1 = steady_clock::now();
    EepromWriteBlock(0xFE, 4, data);
    auto t2 = steady_clock::now();
    EXPECT_GE(t1 - t0, milliseconds(20));
    EXPECT_GE(t2 - t1, milliseconds(40));
}

} // namespace
