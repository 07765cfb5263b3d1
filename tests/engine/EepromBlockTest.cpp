#include "EepromBlock.h"
#include "JobSettings.h"
#include "StandInAdapter.h"

#include <gtest/gtest.h>

namespace {

using Calls = std::vector<std::string>;

struct BusCase {
    const char* name;
    char kind; // 'w' a block write, 'r' a block read, 'p' an acknowledge poll
    uint32_t address;
    int count;
    uint8_t mask; // pins of the device and of the settings
    Calls calls;
    friend void PrintTo(const BusCase& c, std::ostream* os) { *os << c.name; }
};

const BusCase kBusCases[] = {
    { "page_write_at_zero", 'w', 0, 2, 0, { "S", "W A0", "W 00", "W 00", "W 01", "W 02", "P" } },
    { "write_without_data", 'w', 0x10, 0, 0, { "S", "W A0", "W 00", "W 10", "P" } },
    { "within_a_page", 'w', 0x0100, 4, 0, { "S", "W A0", "W 01", "W 00", "W 01", "W 02", "W 03", "W 04", "P" } },
    { "across_a_page", 'w', 0x00FE, 4, 0,
        { "S", "W A0", "W 00", "W FE", "W 01", "W 02", "P", "S", "W A0", "W 01", "W 00", "W 03", "W 04", "P" } },
    { "across_64k", 'w', 0xFFFF, 2, 0,
        { "S", "W A0", "W FF", "W FF", "W 01", "P", "S", "W A2", "W 00", "W 00", "W 02", "P" } },
    { "read_upper_half_a1_high", 'r', 0x01FF00, 2, kAddressMaskA1,
        { "S", "W AA", "W FF", "W 00", "S", "W AB", "R0", "R1", "P" } },
    { "read_without_data_reads_one", 'r', 0x10, 0, 0, { "S", "W A0", "W 00", "W 10", "S", "W A1", "R1", "P" } },
    { "read_three", 'r', 0x20, 3, kAddressMaskA0, { "S", "W A4", "W 00", "W 20", "S", "W A5", "R0", "R0", "R1", "P" } },
    { "poll_upper_half", 'p', 0x10000, 0, kAddressMaskA0 | kAddressMaskA1, { "S", "W AE", "P" } },
};

class EepromBlockTest : public testing::TestWithParam<BusCase> { };

TEST_P(EepromBlockTest, BusSequenceAndDeviceContents)
{
    const BusCase& c = GetParam();
    standin::Bus& bus = standin::Install();
    JobSettings.AddressMask = c.mask;
    // Each page write must be followed by the write wait, which covers the device's cycle.
    JobSettings.WriteWait = 2;
    bus.device->SetPins(c.mask);
    bus.device->SetWriteCycleUs(1000);
    bus.bRecord = true;
    uint8_t data[16] = { 1, 2, 3, 4 };
    uint8_t back[16] = {};
    if (c.kind == 'w')
        EXPECT_TRUE(EepromWriteBlock(c.address, c.count, data));
    else if (c.kind == 'r')
        EXPECT_TRUE(EepromReadBlock(c.address, c.count, back));
    else
        EXPECT_TRUE(EepromAwaitWrite(c.address, 0));
    EXPECT_EQ(bus.calls, c.calls);
    if (c.kind != 'w')
        return;
    // A block that crosses a page reads back whole in one random read.
    EepromReadBlock(c.address, c.count, back);
    EXPECT_EQ(std::vector<uint8_t>(back, back + c.count), std::vector<uint8_t>(data, data + c.count));
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, EepromBlockTest, testing::ValuesIn(kBusCases), [](const auto& info) { return info.param.name; });

} // namespace
