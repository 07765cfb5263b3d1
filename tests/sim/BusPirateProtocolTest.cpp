// The adapter's command set: what each state answers to each command, the banners, and how a host
// gets back to binary mode from wherever a previous program left the adapter.
#include "ModelHarness.h"

#include <gtest/gtest.h>

namespace {

using S = AdapterState;

std::string Banner()
{
    return BusPirateModel::VersionText({}) + "HiZ>";
}

// The serial speed dialog as the host library reads it.
const std::string kSpeedMenu = "b\r\nSet serial port speed: (bps)\r\n 1. 300\r\n 2. 1200\r\n 3. 2400\r\n 4. 4800\r\n"
                               " 5. 9600\r\n 6. 19200\r\n 7. 38400\r\n 8. 57600\r\n 9. 115200\r\n"
                               "10. BRG raw value\r\n\r\n(9)>";
const std::string kDivisorPrompt = "10\r\nEnter BRG value (4000000 / bps - 1)\r\n\r\n>";
const std::string kAdjust = "Adjust your terminal\r\nSpace to continue\r\n";

struct ReplyCase {
    const char* name;
    S initial;
    Bytes input; // sent one byte at a time, each after the previous reply
    Bytes expected;
    S after;
    bool bNoBaudChange = false;
};

class Replies : public testing::TestWithParam<ReplyCase> { };

TEST_P(Replies, AnswerAsTheFirmwareDoes)
{
    BusPirateConfig config;
    config.initial = GetParam().initial;
    config.pendingWrites = 3;
    config.bNoBaudChange = GetParam().bNoBaudChange;
    ModelHarness h(config);
    EXPECT_EQ(h.SendPaced(GetParam().input), GetParam().expected);
    EXPECT_EQ(h.model.State(), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(Sim, Replies,
    testing::Values(ReplyCase { "EnterPrompts", S::Terminal, Text("\r"), Text("\r\nHiZ>"), S::Terminal },
        ReplyCase { "TwentyZerosEnterBinary", S::Terminal, Bytes(20, 0), Text("BBIO1"), S::Bbio },
        ReplyCase { "OtherKeysDoNotResetTheCount", S::Terminal, Cat(Bytes(10, 0), Cat(Text("a"), Bytes(10, 0))),
            Text("aBBIO1"), S::Bbio },
        ReplyCase {
            "UnknownCommand", S::Terminal, Text("q\n"), Text("q\r\nSyntax error at char 1\r\nHiZ>"), S::Terminal },
        ReplyCase { "VersionCommand", S::Terminal, Text("i\n"), Text("i\r\n" + Banner()), S::Terminal },
        ReplyCase { "ResetCommand", S::Terminal, Text("#\n"), Text("#\r\nRESET\r\n" + Banner()), S::Terminal },
        ReplyCase { "SumpTrap", S::Terminal, { 0, 0, 0, 0, 0, 0x02 }, Text("1ALS"), S::Sump },
        ReplyCase {
            "SumpResetLeaves", S::Terminal, { 0, 0, 0, 0, 0, 0x02, 0, '\r' }, Text("1ALS\r\nHiZ>"), S::Terminal },
        ReplyCase { "MenuIgnoresZeros", S::Menu, { 0, 0 }, { 0x07, 0x07 }, S::Menu },
        ReplyCase { "MenuEnterReturnsToPrompt", S::Menu, Text("\r"), Text("\r\nHiZ>"), S::Terminal },
        ReplyCase { "BbioSpiAndBack", S::Bbio, { 0x01, 0x01, 0x00 }, Text("SPI1SPI1BBIO1"), S::Bbio },
        ReplyCase { "BbioI2c", S::Bbio, { 0x02 }, Text("I2C1"), S::I2c },
        ReplyCase { "BbioPins", S::Bbio, { 0x4F, 0xC0 }, { 0x4F, 0xC0 }, S::Bbio },
        ReplyCase { "BbioUnknown", S::Bbio, { 0x10, 0x0E }, { 0x00, 0x00 }, S::Bbio },
        ReplyCase { "BbioLeavesToTerminal", S::Bbio, { 0x0F }, Cat({ 0x01 }, Text(Banner())), S::Terminal },
        ReplyCase { "I2cModeId", S::I2c, { 0x01 }, Text("I2C1"), S::I2c },
        ReplyCase { "I2cSettings", S::I2c, { 0x02, 0x03, 0x4C, 0x40, 0x60, 0x6B }, Bytes(6, 1), S::I2c },
        ReplyCase {
            "I2cUnknown", S::I2c, { 0x05, 0x0A, 0x2F, 0x3F, 0x51, 0x70, 0x7F, 0x80, 0xFF }, Bytes(9, 0), S::I2c },
        ReplyCase { "AuxCommand", S::I2c, { 0x09, 0x01, 0x09, 0x03 }, { 1, 1, 1, 1 }, S::I2c },
        ReplyCase { "SnifferUntilAnyByte", S::I2c, { 0x0F, 0x55 }, { 0x01 }, S::I2c },
        // Counts over 4096 are refused before the write bytes: what follows is read as commands.
        ReplyCase {
            "OversizeWriteThenRead", S::I2c, { 0x08, 0x10, 0x01, 0, 0, 0x01 }, Cat({ 0 }, Text("I2C1")), S::I2c },
        ReplyCase { "EmptyWriteThenReadFw7", S::I2c, { 0x08, 0, 0, 0, 0 }, { 0x00 }, S::I2c },
        ReplyCase { "InitialWriteThenRead", S::WriteThenRead, { 0xA0, 0, 0 }, { 0x01 }, S::I2c },
        ReplyCase { "SpeedMenu", S::Terminal, Text("b\n"), Text(kSpeedMenu), S::BaudMenu },
        ReplyCase { "SpeedMenuIgnoresZeros", S::Terminal, Cat(Text("b\n"), { 0 }), Cat(Text(kSpeedMenu), { 0x07 }),
            S::BaudMenu },
        ReplyCase {
            "RawDivisorPrompt", S::Terminal, Text("b\n10\n"), Text(kSpeedMenu + kDivisorPrompt), S::BaudDivisor },
        ReplyCase { "DivisorSwitchesAndWaitsForASpace", S::Terminal, Text("b\n10\n1\n\r\n"),
            Text(kSpeedMenu + kDivisorPrompt + "1\r\n" + kAdjust), S::BaudConfirm },
        ReplyCase { "SpaceConfirms", S::Terminal, Text("b\n10\n1\n "),
            Text(kSpeedMenu + kDivisorPrompt + "1\r\n" + kAdjust + "HiZ>"), S::Terminal },
        ReplyCase { "EnterTakesTheMenuDefault", S::Terminal, Text("b\n\n"), Text(kSpeedMenu + "\r\n" + kAdjust),
            S::BaudConfirm },
        ReplyCase { "InvalidSpeedChoice", S::Terminal, Text("b\n12\n"),
            Text(kSpeedMenu + "12\r\n\r\nInvalid choice, try again\r\n\r\n(9)>"), S::BaudMenu },
        ReplyCase { "DivisorOutOfRange", S::Terminal, Text("b\n10\n70000\n"),
            Text(kSpeedMenu + kDivisorPrompt + "70000\r\n\r\nInvalid choice, try again\r\n\r\n>"), S::BaudDivisor },
        ReplyCase { "OldFirmwareHasNoSpeedCommand", S::Terminal, Text("b\n"),
            Text("b\r\nSyntax error at char 1\r\nHiZ>"), S::Terminal, true }),
    CaseName());

// The texts the adapter library parses the hardware and firmware versions from.
TEST(SimBanner, NamesHardwareAndFirmware)
{
    const struct {
        int firmware;
        bool bV4;
        const char* pszText;
    } kCases[] = {
        { 6, false,
            "Bus Pirate v3.5\r\nFirmware v6.1 r1676  Bootloader v4.4\r\nDEVID:0x0447 REVID:0x3046 (24FJ64GA002 B8)\r\n"
            "http://dangerousprototypes.com\r\n" },
        { 7, false,
            "Bus Pirate v3.5\r\nCommunity Firmware v7.1 - goo.gl/gCzQnW [HiZ 1-WIRE UART I2C SPI 2WIRE 3WIRE KEYB LCD "
            "PIC DIO] Bootloader v4.5\r\nDEVID:0x0447 REVID:0x3046 (24FJ64GA002 "
            "B8)\r\nhttp://dangerousprototypes.com\r\n" },
        { 6, true,
            "Bus Pirate v4\r\nFirmware v6.1 r1676\r\nDEVID:0x1019 REVID:0x0005 (24FJ256GB106 A5)\r\n"
            "http://dangerousprototypes.com\r\n" },
    };
    for (const auto& c : kCases) {
        BusPirateConfig config;
        config.firmware = c.firmware;
        config.bV4 = c.bV4;
        EXPECT_EQ(BusPirateModel::VersionText(config), c.pszText);
    }
}

struct RecoveryCase {
    const char* name;
    S initial;
    int zerosToBinary; // 0: zeros alone never get there
};

class Recovery : public testing::TestWithParam<RecoveryCase> { };

TEST_P(Recovery, PacedZerosReachBinaryMode)
{
    BusPirateConfig config;
    config.initial = GetParam().initial;
    config.pendingWrites = 10;
    config.rxFifo = 4;
    ModelHarness h(config);
    int sent = 0;
    std::string seen;
    while (sent < 40 && seen.find("BBIO1") == std::string::npos) {
        Bytes reply = h.Send({ 0x00 });
        seen.append(reply.begin(), reply.end());
        ++sent;
    }
    if (GetParam().zerosToBinary == 0) {
        EXPECT_EQ(seen.find("BBIO1"), std::string::npos);
        h.Send(Text("\r")); // Enter leaves the menu; then zeros count
        EXPECT_EQ(h.SendPaced(Bytes(20, 0)), Text("BBIO1"));
    } else {
        EXPECT_EQ(sent, GetParam().zerosToBinary);
    }
    EXPECT_EQ(h.model.State(), S::Bbio);
    EXPECT_FALSE(h.model.Hung());
    EXPECT_FALSE(h.model.Powered());
}

INSTANTIATE_TEST_SUITE_P(Sim, Recovery,
    testing::Values(RecoveryCase { "Terminal", S::Terminal, 20 }, RecoveryCase { "Menu", S::Menu, 0 },
        RecoveryCase { "Bbio", S::Bbio, 1 }, RecoveryCase { "I2c", S::I2c, 1 },
        RecoveryCase { "Sniffer", S::Sniffer, 2 },
        // The sixteen data bytes are swallowed, then the next zero leaves I2C mode.
        RecoveryCase { "BulkWrite", S::BulkWrite, 17 },
        // Ten write bytes, a general-call select nobody acknowledges (0x00), then out.
        RecoveryCase { "WriteThenRead", S::WriteThenRead, 11 }),
    CaseName());

TEST(SimLine, MuteAndHangUpCountReceivedBytes)
{
    BusPirateConfig config;
    config.initial = S::Bbio;
    config.muteAfter = 2;
    ModelHarness muted(config);
    EXPECT_EQ(muted.SendPaced({ 0, 0, 0, 0 }), Text("BBIO1BBIO1"));
    EXPECT_TRUE(muted.model.Hung());
    EXPECT_FALSE(muted.model.HangUp());
    EXPECT_EQ(muted.model.CommandBytes(), 4u);

    config.muteAfter = UINT64_MAX;
    config.hangupAfter = 3;
    ModelHarness hung(config);
    hung.SendPaced({ 0, 0 });
    EXPECT_FALSE(hung.model.HangUp());
    hung.Send({ 0 });
    EXPECT_TRUE(hung.model.HangUp());
}

} // namespace
