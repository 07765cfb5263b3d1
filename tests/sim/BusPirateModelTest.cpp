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

const std::string kBanner = BusPirateModel::VersionText({}) + "HiZ>";
const std::string kSpeedMenu = "b\r\nSet serial port speed: (bps)\r\n 1. 300\r\n 2. 1200\r\n 3. 2400\r\n 4. 4800\r\n"
                               " 5. 9600\r\n 6. 19200\r\n 7. 38400\r\n 8. 57600\r\n 9. 115200\r\n"
                               "10. BRG raw value\r\n\r\n(9)>";
// Firmware 6.x loses the last five bytes of the dialog when it switches its UART.
const std::string kTo2Mbaud = "10\r\nEnter raw value for BRG\r\n\r\n(34)>1\r\nAdjust your terminal\r\nSpace to conti";
const std::string kWholeTo2Mbaud = kTo2Mbaud + "nue\r\nHiZ>";
const Bytes k2M = Text("b\n10\n1\n ");
const std::string k2MReply = kSpeedMenu + kTo2Mbaud + "HiZ>";
const std::string kPrompt = "\r\nHiZ>";
const BusPirateConfig kI2c { .initial = S::I2c };
const BusPirateConfig kRestarting { .firmware = Firmware::V7_1, .initial = S::I2c }; // random reads in one 0x08
const BusPirateConfig kV3 { .rxFifo = 4, .initial = S::I2c };
const BusPirateConfig k2MbaudV3 { .rxFifo = 4, .initialBaud = 2000000, .initial = S::I2c };
// Start, the address bytes in a bulk write, and a read of 16 behind them, as the library reads.
const Bytes kAddressAndRead = { 0x02, 0x12, 0xA0, 0x00, 0x10, 0x08, 0, 1, 0, 16, 0xA1 };
constexpr uint64_t kU = BusPirateModel::kUartByteNs;
// 7 and 8 written at 0x0010, then read back in one write-then-read and in the form that works on every build.
const Bytes kRandomReads = { 0x08, 0, 5, 0, 0, 0xA0, 0, 0x10, 7, 8, 0x08, 0, 3, 0, 2, 0xA0, 0, 0x10, 0x02, 0x12, 0xA0,
    0, 0x10, 0x08, 0, 1, 0, 2, 0xA1 };
// The v4's pull-up voltage, then a write to nobody, which acknowledges only without pull-ups.
const Bytes kPullUpCheck = { 0x51, 0x02, 0x10, 0xFF, 0x03 };

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
    std::vector<uint8_t> memory(At24Device::kSize, 0xFF);
    BusPirateModel model(memory.data(), c.config);
    model.Device().SetWriteCycleUs(c.writeCycleUs);
    // Replies leave on the model's clock; sent is when the last byte went to the model, and the
    // clock ends just after the last reply left.
    uint64_t now = 1000000, sent = 0, lastLeave = 0;
    Bytes reply, power;
    auto send = [&](const Bytes& bytes, Bytes& out) {
        model.Receive(bytes.data(), bytes.size(), sent = now);
        for (; model.NextDue() != UINT64_MAX; now = std::max(now, lastLeave + 1))
            model.TakeDue(lastLeave = model.NextDue(), out);
    };
    if (c.config.initial == S::I2c)
        send({ 0x4C }, power);
    if (c.bBurst)
        send(c.input, reply);
    // Paced: each byte after the reply to the one before. After a burst, a v3 whose receive FIFO
    // overran does not answer any more.
    for (uint8_t byte : c.bBurst ? Bytes { 0x00 } : c.input)
        send({ byte }, reply);
    if (c.byteNs) { // the input ends with Enter, answered by a prompt of six bytes
        EXPECT_EQ(lastLeave - sent, 6 * c.byteNs);
    }
    EXPECT_EQ(reply, c.expected);
    EXPECT_EQ(model.State(), c.after);
}

INSTANTIATE_TEST_SUITE_P(Sim, Commands,
    testing::Values(Case { "TwentyZerosOtherKeysDoNotCount", {}, Cat(Bytes(10, 0), Cat(Text("a"), Bytes(10, 0))),
                        Text("aBBIO1"), S::Bbio },
        Case { "HydraBusCountsZerosInARow", { .hardware = Hardware::HydraBus },
            Cat(Bytes(10, 0), Cat(Text("a"), Bytes(10, 0))), Text("a"), S::Terminal },
        Case { "UnknownCommand", {}, Text("q\n\r"), Text("q\r\nSyntax error at char 1" + kPrompt + kPrompt),
            S::Terminal, kU },
        Case { "SumpTrapLeftByReset", {}, { 0, 0, 0, 0, 0, 2, 0, '\r' }, Text("1ALS" + kPrompt), S::Terminal },
        Case { "MenuIgnoresZeros", { .initial = S::Menu }, { 0, 0, '\r' }, Text("\a\a" + kPrompt), S::Terminal },
        // Zeros are ignored in the menu, Enter while the adapter waits for a space.
        Case { "SpeedDialog", {}, Cat(Text("b\n"), Cat({ 0 }, Text("10\n1\n\r \r"))),
            Text(kSpeedMenu + "\a" + kTo2Mbaud + "HiZ>" + kPrompt), S::Terminal, 5000 },
        Case { "SpeedDialogWholeSince70", { .firmware = Firmware::V7_0 }, k2M, Text(kSpeedMenu + kWholeTo2Mbaud),
            S::Terminal },
        Case { "LeftFast", { .initialBaud = 2000000 }, Text("\r"), Text(kPrompt), S::Terminal, 5000 },
        Case { "ResetRestoresBootSpeed", {}, Cat(k2M, Text("#\n\r")),
            Text(k2MReply + "#\r\nRESET\r\n" + kBanner + kPrompt), S::Terminal, kU },
        Case { "LeavingBinaryModeResets", {}, Cat(k2M, Cat(Bytes(20, 0), Text("\x0F\r"))),
            Text(k2MReply + "BBIO1\x01" + kBanner + kPrompt), S::Terminal, kU },
        Case { "V4IsUsb", { .hardware = Hardware::V4 }, Cat(k2M, Text("\r")),
            Text(kSpeedMenu + kWholeTo2Mbaud + kPrompt), S::Terminal, BusPirateModel::kUsbByteNs },
        Case { "Bbio", { .initial = S::Bbio }, { 0x01, 0x01, 0x00, 0x4F, 0x0E, 0x02 },
            Cat(Text("SPI1SPI1BBIO1"), Cat({ 0x4F, 0x00 }, Text("I2C1"))), S::I2c },
        Case { "V4StaysInBinaryModeIn71", { .hardware = Hardware::V4, .firmware = Firmware::V7_1, .initial = S::Bbio },
            { 0x0F, 0x00 }, Cat({ 0x01 }, Text("BBIO1")), S::Bbio },
        Case { "HydraBusBbio", { .hardware = Hardware::HydraBus, .initial = S::Bbio }, { 0x40, 0x0F },
            Cat({ 0x01 }, Text("BBIO1Hydrabus\r\n")), S::Terminal },
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
        // "v7.1" from 2018 on adds the repeated start and the read select; before it the reads go
        // straight on, while the device still takes a write: it stores the 0xFF nobody drives.
        // Then the address in a bulk write and a write-then-read of the read select, as on every build.
        Case { "RandomReadRestartsIn71", { .firmware = Firmware::V7_1, .initial = S::I2c }, kRandomReads,
            { 1, 1, 7, 8, 1, 1, 0, 0, 0, 1, 7, 8 }, S::I2c },
        Case { "RandomReadWritesBefore71", { .firmware = Firmware::V7_1Of2017, .initial = S::I2c }, kRandomReads,
            { 1, 1, 0xFF, 0xFF, 1, 1, 0, 0, 0, 1, 0xFF, 0xFF }, S::I2c },
        // 0x22 goes to 0x10000 through P0 (not to 0x0000); the read counter carries from 0xFFFF into it.
        Case { "UpperHalf", kRestarting,
            { 0x08, 0, 4, 0, 0, 0xA0, 0xFF, 0xFF, 0x11, 0x08, 0, 4, 0, 0, 0xA2, 0, 0, 0x22, 0x08, 0, 3, 0, 2, 0xA0,
                0xFF, 0xFF, 0x08, 0, 3, 0, 1, 0xA0, 0, 0 },
            { 1, 1, 1, 0x11, 0x22, 1, 0xFF }, S::I2c },
        // Past the page end a write wraps to the page start.
        Case { "PageWrap", kRestarting, { 0x08, 0, 7, 0, 0, 0xA0, 2, 0xFE, 1, 2, 3, 4, 0x08, 0, 3, 0, 2, 0xA0, 2, 0 },
            { 1, 1, 3, 4 }, S::I2c },
        // A select for other pins is not acknowledged: 0x00, and the bus is left without a stop.
        Case { "Pins", kRestarting,
            { 0x08, 0, 4, 0, 0, 0xA0, 2, 0, 9, 0x08, 0, 3, 0, 1, 0xA0, 2, 0, 0x08, 0, 3, 0, 1, 0xA4, 2, 0 },
            { 1, 1, 9, 0 }, S::I2c },
        // Without pull-ups both lines read low: every address acknowledges, every byte is zero.
        Case { "NoPullups", { .noPullups = true, .initial = S::I2c }, { 0x02, 0x10, 0xFF, 0x04, 0x07, 0x03 },
            { 1, 1, 0, 0, 1, 1 }, S::I2c },
        // A v4's pull-ups need its own pull-up voltage, whose command 6.1 lacks, or a Vpu fed from outside.
        Case { "V4PullUpVoltageUnknownIn61",
            { .hardware = Hardware::V4, .firmware = Firmware::V6_1, .initial = S::I2c }, kPullUpCheck,
            { 0, 1, 1, 0, 1 }, S::I2c },
        Case { "V4PullUpVoltageRefusedWhenFed", { .hardware = Hardware::V4, .externalVpu = true, .initial = S::I2c },
            kPullUpCheck, { 0, 1, 1, 1, 1 }, S::I2c },
        // Bytes of seven bits go unacknowledged until raw-wire mode sets eight.
        Case { "BitsPerByteUntilRawWire", { .hardware = Hardware::V4, .bitsPerByte = 7, .initial = S::I2c },
            { 0x02, 0x10, 0xA0, 0x03, 0x00, 0x05, 0x00, 0x02, 0x4C, 0x51, 0x02, 0x10, 0xA0, 0x03 },
            Cat({ 1, 1, 1, 1 }, Cat(Text("BBIO1RAW1BBIO1I2C1"), { 1, 1, 1, 1, 0, 1 })), S::I2c },
        // Decoded by masks: 0x09 unknown, 0x20 and 0xF0 with arguments, 0x51 a bulk write of two; 0x63
        // is 1 MHz, too fast for the EEPROM.
        Case { "HydraBusI2c", { .hardware = Hardware::HydraBus, .initial = S::I2c },
            { 0x09, 0x20, 1, 2, 3, 4, 0xF0, 0xFF, 0x02, 0x51, 0xA0, 0x00, 0x03, 0x63, 0x02, 0x10, 0xA0, 0x03 },
            { 1, 1, 1, 1, 0, 0, 1, 1, 1, 1, 1, 1 }, S::I2c },
        // A v3 takes a byte per frame only while it has nothing to send or to clock on the bus.
        Case { "CommandsInFlight", kV3, Bytes(8, 1), Text("I2C1I2C1I2C1I2C1I2C1I2C1"), S::I2c, 0, true },
        Case { "AddressAndReadAt2Mbaud", k2MbaudV3, kAddressAndRead, { 1, 1, 0, 0, 0 }, S::WriteThenRead, 0, true }),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
