#include "EepromBlock.h"
#include "JobSettings.h"
#include "StandInAdapter.h"

#include <chrono>
#include <gtest/gtest.h>

namespace {

using Calls = std::vector<std::string>;

struct BusCase {
    const char* name;
    bool bWrite;
    uint32_t address;
    int count;
    uint8_t mask; // pins of the device and of the settings
    Calls calls;
    friend void PrintTo(const BusCase& c, std::ostream* os) { *os << c.name; }
};

Calls Repeat(int n, const char* call)
{
    return Calls(static_cast<size_t>(n), call);
}

Calls operator+(Calls a, const Calls& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const BusCase kBusCases[] = {
    { "page_write_at_zero", true, 0, 2, 0, { "S", "W A0", "W 00", "W 00", "W 01", "W 02", "P" } },
    { "write_without_data", true, 0x10, 0, 0, { "S", "W A0", "W 00", "W 10", "P" } },
    { "within_a_page", true, 0x0100, 4, 0, { "S", "W A0", "W 01", "W 00", "W 01", "W 02", "W 03", "W 04", "P" } },
    { "across_a_page", true, 0x00FE, 4, 0,
        { "S", "W A0", "W 00", "W FE", "W 01", "W 02", "P", "S", "W A0", "W 01", "W 00", "W 03", "W 04", "P" } },
    { "across_64k", true, 0xFFFE, 4, 0,
        { "S", "W A0", "W FF", "W FE", "W 01", "W 02", "P", "S", "W A2", "W 00", "W 00", "W 03", "W 04", "P" } },
    { "read_upper_half_a1_high", false, 0x01FF00, 2, kAddressMaskA1,
        { "S", "W AA", "W FF", "W 00", "S", "W AB", "R0", "R1", "P" } },
    { "read_without_data_reads_one", false, 0x10, 0, 0, { "S", "W A0", "W 00", "W 10", "S", "W A1", "R1", "P" } },
    { "read_sixteen", false, 0x20, 16, kAddressMaskA0,
        Calls { "S", "W A4", "W 00", "W 20", "S", "W A5" } + Repeat(15, "R0") + Calls { "R1", "P" } },
};

class EepromBlockTest : public testing::TestWithParam<BusCase> {
protected:
    void SetUp() override
    {
        bus = &standin::Install();
        JobSettings.AddressMask = GetParam().mask;
        JobSettings.WriteWait = 0;
        bus->device->SetPins(GetParam().mask);
    }
    standin::Bus* bus = nullptr;
};

TEST_P(EepromBlockTest, BusSequenceAndDeviceContents)
{
    const BusCase& c = GetParam();
    uint8_t data[16] = { 1, 2, 3, 4 };
    uint8_t back[16] = {};
    bus->bRecord = true;
    if (c.bWrite)
        EepromWriteBlock(c.address, c.count, data);
    else
        EepromReadBlock(c.address, c.count, back);
    EXPECT_EQ(bus->calls, c.calls);
    if (!c.bWrite)
        return;
    // A block that crosses a page reads back whole in one random read.
    EepromReadBlock(c.address, c.count, back);
    EXPECT_EQ(std::vector<uint8_t>(back, back + c.count), std::vector<uint8_t>(data, data + c.count));
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, EepromBlockTest, testing::ValuesIn(kBusCases), [](const auto& info) { return info.param.name; });

TEST(EepromWaitTest, EachPageWriteIsFollowedByTheWriteWait)
{
    using namespace std::chrono;
    standin::Install();
    JobSettings.WriteWait = 20;
    uint8_t data[4] = {};
    auto t0 = steady_clock::now();
    EepromWriteBlock(0x10, 4, data);
    auto t1 = steady_clock::now();
    EepromWriteBlock(0xFE, 4, data);
    EXPECT_GE(t1 - t0, milliseconds(20));
    EXPECT_GE(steady_clock::now() - t1, milliseconds(40));
}

} // namespace
