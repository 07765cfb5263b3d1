// The emulated adapter on its own clock (nothing here measures real time): what each state answers,
// the EEPROM behind the protocol, the serial speed of the moment and the v3's receive FIFO.
#include "BusPirateModel.h"

#include <gtest/gtest.h>

namespace {

using S = AdapterState;
using Bytes = std::vector<uint8_t>;

const auto Text = [](const std::string& text) { return Bytes(text.begin(), text.end()); };
const auto Cat = [](Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
};

// Replies leave on the model's clock; sent is when the last byte went to the model.
struct Harness {
    BusPirateConfig config;
    std::vector<uint8_t> memory = std::vector<uint8_t>(At24Device::kSize, 0xFF);
    BusPirateModel model { memory.data(), config };
    uint64_t now = 1000000, sent = 0, lastLeave = 0;

    // Sends bytes in one burst and collects every reply; the clock ends just after the last one left.
    Bytes Send(const Bytes& bytes)
    {
        model.Receive(bytes.data(), bytes.size(), sent = now);
        Bytes out;
        for (; model.NextDue() != UINT64_MAX; now = std::max(now, lastLeave + 1))
            model.TakeDue(lastLeave = model.NextDue(), out);
        return out;
    }
    // One byte at a time, each after the reply to the one before.
    Bytes SendPaced(const Bytes& bytes)
    {
        Bytes out;
        for (uint8_t byte : bytes)
            out = Cat(out, Send({ byte }));
        return out;
    }
};

const std::string kBanner = BusPirateModel::VersionText({}) + "HiZ>";
const std::string kSpeedMenu = "b\r\nSet serial port speed: (bps)\r\n 1. 300\r\n 2. 1200\r\n 3. 2400\r\n 4. 4800\r\n"
                               " 5. 9600\r\n 6. 19200\r\n 7. 38400\r\n 8. 57600\r\n 9. 115200\r\n"
                               "10. BRG raw value\r\n\r\n(9)>";
const std::string kTo2Mbaud = "10\r\nEnter BRG value (4000000 / bps - 1)\r\n\r\n>1\r\nAdjust your terminal\r\n"
                              "Space to continue\r\nHiZ>";
const Bytes k2M = Text("b\n10\n1\n ");
const std::string k2MReply = kSpeedMenu + kTo2Mbaud;
const std::string kPrompt = "\r\nHiZ>";
const BusPirateConfig kI2c { .initial = S::I2c };
const BusPirateConfig kV3 { .rxFifo = 4, .initial = S::I2c };
const BusPirateConfig k2MbaudV3 { .rxFifo = 4, .initialBaud = 2000000, .initial = S::I2c };
// Start, the address bytes in a bulk write, and a read of 16 behind them, as firmware 6 is driven.
const Bytes kAddressAndRead = { 0x02, 0x12, 0xA0, 0x00, 0x10, 0x08, 0, 1, 0, 16, 0xA1 };
constexpr uint64_t kU = BusPirateModel::kUartByteNs;

struct Case {
    const char* name;
    BusPirateConfig config;
    Bytes input; // paced; in I2C mode powered with pull-ups on (0x4C) first
    Bytes expected;
    S after;
    uint64_t byteNs = 0; // the line's, on the reply to the last input byte; 0: not checked
    bool bBurst = false; // the input in one burst, then a paced 0x00
    uint64_t writeCycleUs = 0;
    friend void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }
};

class Commands : public testing::TestWithParam<Case> { };

TEST_P(Commands, AnswerAsTheFirmwareDoes)
{
    const Case& c = GetParam();
    Harness h { c.config };
    h.model.Device().SetWriteCycleUs(c.writeCycleUs);
    if (c.config.initial == S::I2c)
        h.Send({ 0x4C });
    Bytes reply = c.bBurst ? h.Send(c.input) : h.SendPaced(c.input);
    if (c.byteNs) { // the input ends with Enter, answered by a prompt of six bytes
        EXPECT_EQ(h.lastLeave - h.sent, 6 * c.byteNs);
    }
    // A v3 whose receive FIFO overran does not answer any more.
    EXPECT_EQ(c.bBurst ? Cat(reply, h.SendPaced({ 0x00 })) : reply, c.expected);
    EXPECT_EQ(h.model.State(), c.after);
}

INSTANTIATE_TEST_SUITE_P(Sim, Commands,
    testing::Values(Case { "TwentyZerosOtherKeysDoNotCount", {}, Cat(Bytes(10, 0), Cat(Text("a"), Bytes(10, 0))),
                        Text("aBBIO1"), S::Bbio },
        Case { "UnknownCommand", {}, Text("q\n\r"), Text("q\r\nSyntax error at char 1" + kPrompt + kPrompt),
            S::Terminal, kU },
        Case { "SumpTrapLeftByReset", {}, { 0, 0, 0, 0, 0, 2, 0, '\r' }, Text("1ALS" + kPrompt), S::Terminal },
        Case { "MenuIgnoresZeros", { .initial = S::Menu }, { 0, 0, '\r' }, Text("\a\a" + kPrompt), S::Terminal },
        // Zeros are ignored in the menu, Enter while the adapter waits for a space.
        Case { "SpeedDialog", {}, Cat(Text("b\n"), Cat({ 0 }, Text("10\n1\n\r \r"))),
            Text(kSpeedMenu + "\a" + kTo2Mbaud + kPrompt), S::Terminal, 5000 },
        Case { "LeftFast", { .initialBaud = 2000000 }, Text("\r"), Text(kPrompt), S::Terminal, 5000 },
        Case { "ResetRestoresBootSpeed", {}, Cat(k2M, Text("#\n\r")),
            Text(k2MReply + "#\r\nRESET\r\n" + kBanner + kPrompt), S::Terminal, kU },
        Case { "LeavingBinaryModeResets", {}, Cat(k2M, Cat(Bytes(20, 0), Text("\x0F\r"))),
            Text(k2MReply + "BBIO1\x01" + kBanner + kPrompt), S::Terminal, kU },
        Case { "V4IsUsb", { .bV4 = true }, Cat(k2M, Text("\r")), Text(k2MReply + kPrompt), S::Terminal,
            BusPirateModel::kUsbByteNs },
        Case { "Bbio", { .initial = S::Bbio }, { 0x01, 0x01, 0x00, 0x4F, 0x0E, 0x02 },
            Cat(Text("SPI1SPI1BBIO1"), Cat({ 0x4F, 0x00 }, Text("I2C1"))), S::I2c },
        Case { "BbioLeaves", { .initial = S::Bbio }, { 0x0F }, Cat({ 0x01 }, Text(kBanner)), S::Terminal },
        Case { "Mute", { .muteAfter = 2, .initial = S::Bbio }, { 0, 0, 0 }, Text("BBIO1BBIO1"), S::Bbio },
        Case { "I2c", kI2c, { 0x01, 0x02, 0x03, 0x60, 0x63, 0x05, 0x80, 0xFF, 0x09, 0x01 },
            Cat(Text("I2C1"), { 1, 1, 1, 1, 0, 0, 0, 1, 1 }), S::I2c },
        Case { "SnifferLeftByAnyByte", kI2c, { 0x0F, 0x55 }, { 0x01 }, S::I2c },
        // Counts over 4096 are refused before the write bytes: what follows is read as commands.
        Case { "OversizeWriteThenRead", kI2c, { 0x08, 0x10, 0x01, 0, 0, 0x01 }, Cat({ 0 }, Text("I2C1")), S::I2c },
        Case { "PendingWriteThenRead", { .initial = S::WriteThenRead, .pendingWrites = 3 }, { 0xA0, 0, 0 }, { 1 },
            S::I2c },
        Case { "Busy", kI2c, { 0x08, 0, 4, 0, 0, 0xA0, 0, 0, 1, 0x02, 0x10, 0xA0, 0x03 }, { 1, 1, 1, 1, 1 }, S::I2c, 0,
            false, 5000 },
        // Firmware 7 adds the repeated start and the read select; firmware 6 reads straight on, while
        // the device still takes a write and drives nothing.
        Case { "RandomReadFw7", kI2c, { 0x08, 0, 5, 0, 0, 0xA0, 0, 0x10, 7, 8, 0x08, 0, 3, 0, 2, 0xA0, 0, 0x10 },
            { 1, 1, 7, 8 }, S::I2c },
        Case { "RandomReadFw6", { .firmware = 6, .initial = S::I2c },
            { 0x08, 0, 5, 0, 0, 0xA0, 0, 0x10, 7, 8, 0x08, 0, 3, 0, 2, 0xA0, 0, 0x10 }, { 1, 1, 0xFF, 0xFF }, S::I2c },
        // 0x22 goes to 0x10000 through P0 (not to 0x0000); the read counter carries from 0xFFFF into it.
        Case { "UpperHalf", kI2c,
            { 0x08, 0, 4, 0, 0, 0xA0, 0xFF, 0xFF, 0x11, 0x08, 0, 4, 0, 0, 0xA2, 0, 0, 0x22, 0x08, 0, 3, 0, 2, 0xA0,
                0xFF, 0xFF, 0x08, 0, 3, 0, 1, 0xA0, 0, 0 },
            { 1, 1, 1, 0x11, 0x22, 1, 0xFF }, S::I2c },
        // Past the page end a write wraps to the page start.
        Case { "PageWrap", kI2c, { 0x08, 0, 7, 0, 0, 0xA0, 1, 0xFE, 1, 2, 3, 4, 0x08, 0, 3, 0, 2, 0xA0, 1, 0 },
            { 1, 1, 3, 4 }, S::I2c },
        // A select for other pins is not acknowledged: 0x00, and the bus is left without a stop.
        Case { "Pins", kI2c,
            { 0x08, 0, 4, 0, 0, 0xA0, 2, 0, 9, 0x08, 0, 3, 0, 1, 0xA0, 2, 0, 0x08, 0, 3, 0, 1, 0xA4, 2, 0 },
            { 1, 1, 9, 0 }, S::I2c },
        // Without pull-ups both lines read low: every address acknowledges, every byte is zero.
        Case { "NoPullups", { .bNoPullups = true, .initial = S::I2c }, { 0x02, 0x10, 0xFF, 0x04, 0x07, 0x03 },
            { 1, 1, 0, 0, 1, 1 }, S::I2c },
        // A v3 takes a byte per frame only while it has nothing to send or to clock on the bus.
        Case { "CommandsInFlight", kV3, Bytes(8, 1), Text("I2C1I2C1I2C1I2C1I2C1I2C1"), S::I2c, 0, true },
        Case { "CommandsPaced", kV3, Bytes(8, 1), Text("I2C1I2C1I2C1I2C1I2C1I2C1I2C1I2C1"), S::I2c },
        Case { "AddressAndReadAt2Mbaud", k2MbaudV3, kAddressAndRead, { 1, 1, 0, 0, 0 }, S::WriteThenRead, 0, true }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
