// The text side of the adapter: the prompt, its setup menus (the serial speed among them), the SUMP
// logic analyser it falls into, and the version banner the host reads the hardware and firmware
// versions from.
#include "BusPirateModel.h"

#include <algorithm>
#include <iterator>
#include <string>

namespace {

constexpr uint8_t kBell = 0x07;
constexpr size_t kLineMax = 255;
constexpr int kZerosForBinary = 20;
constexpr int kZerosForSump = 5;
constexpr uint32_t kSumpSamples = 4096;
constexpr uint64_t kSumpSampleNs = 100000; // the default 10 kHz sample rate

constexpr const char* kModeMenu = "1. HiZ\r\n2. 1-WIRE\r\n3. UART\r\n4. I2C\r\n5. SPI\r\n6. 2WIRE\r\n7. 3WIRE\r\n"
                                  "8. LCD\r\n9. DIO\r\nx. exit(without change)\r\n\r\n(1)>";

constexpr const char* kBaudMenu = "Set serial port speed: (bps)\r\n 1. 300\r\n 2. 1200\r\n 3. 2400\r\n 4. 4800\r\n"
                                  " 5. 9600\r\n 6. 19200\r\n 7. 38400\r\n 8. 57600\r\n 9. 115200\r\n"
                                  "10. BRG raw value\r\n\r\n(9)>";
constexpr const char* kDivisorPrompt = "Enter raw value for BRG\r\n\r\n(34)>";
constexpr const char* kInvalidChoice = "\r\nInvalid choice, try again\r\n\r\n";
constexpr uint32_t kMenuBauds[] = { 300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 };
constexpr size_t kMenuDigitsMax = 4; // the firmware's number prompts take up to four digits
constexpr uint32_t kDefaultDivisor = 34; // 115200 baud

bool IsDigit(uint8_t byte)
{
    return byte >= '0' && byte <= '9';
}

} // namespace

std::string BusPirateModel::VersionText(const BusPirateConfig& config)
{
    if (config.hardware == Hardware::HydraBus)
        return "Hydrabus\r\n";
    bool bV4 = config.hardware == Hardware::V4;
    std::string text = bV4 ? "Bus Pirate v4\r\n" : "Bus Pirate v3.5\r\n";
    text += Build(config).pszBanner;
    text += "[HiZ 1-WIRE UART I2C SPI 2WIRE 3WIRE LCD DIO]";
    // The v4 has no bootloader version to show.
    text += bV4 ? "\r\nDEVID:0x1019 REVID:0x0005 (24FJ256GB106 A5)\r\n"
                : " Bootloader v4.4\r\nDEVID:0x0447 REVID:0x3046 (24FJ64GA002 B8)\r\n";
    text += "http://dangerousprototypes.com\r\n";
    return text;
}

void BusPirateModel::EmitBanner()
{
    EmitText(VersionText(m_config).c_str());
    EmitText("HiZ>");
}

void BusPirateModel::ResetToTerminal()
{
    // The firmware lets its last reply leave before the restart, which brings the UART up at 115200.
    // A v4 cannot restart: it cleans up what binary mode set and prints the banner as if it had.
    m_now = std::max(m_now, m_txFree);
    if (!IsUsb()) {
        SetBaud(kBootBaud);
        m_bitsPerByte = 8;
    }
    BinReset();
    m_state = AdapterState::Terminal;
    m_zeros = 0;
    m_line.clear();
    m_speed = 3;
    Trace("reset: banner and prompt");
    EmitBanner();
}

void BusPirateModel::EnterBbio()
{
    Trace("binary mode");
    BinReset();
    m_state = AdapterState::Bbio;
    m_zeros = 0;
    EmitText("BBIO1");
}

void BusPirateModel::TerminalByte(uint8_t byte)
{
    switch (byte) {
    case 0x00:
        // Only a reset clears the count; other characters in between do not.
        if (++m_zeros == kZerosForBinary)
            EnterBbio();
        break;
    case 0x02:
        if (m_zeros >= kZerosForSump) {
            Trace("SUMP logic analyser");
            m_state = AdapterState::Sump;
            m_sumpParams = 0;
            EmitText("1ALS");
        } else {
            Emit(kBell);
        }
        break;
    case '\r':
    case '\n':
        EmitText("\r\n");
        ExecuteLine();
        break;
    case 0x08:
        if (m_line.empty()) {
            Emit(kBell);
        } else {
            m_line.pop_back();
            EmitText("\x08 \x08");
        }
        break;
    default:
        if (byte >= 0x20 && byte < 0x7F && m_line.size() < kLineMax) {
            m_line.push_back(static_cast<char>(byte));
            Emit(byte);
        } else {
            Emit(kBell);
        }
        break;
    }
    Finish();
}

// The HydraBus console counts only consecutive zeros, and exactly five before 0x02 for SUMP; what
// else it is told is of no interest here.
void BusPirateModel::ConsoleByte(uint8_t byte)
{
    if (byte == 0x00) {
        if (++m_zeros == kZerosForBinary)
            EnterBbio();
    } else if (byte == 0x02 && m_zeros == kZerosForSump) {
        Trace("SUMP logic analyser");
        m_state = AdapterState::Sump;
        m_sumpParams = 0;
        EmitText("1ALS");
    } else {
        m_zeros = 0;
        if (byte == '\r' || byte == '\n')
            EmitText("\r\n> ");
        else if (byte >= 0x20 && byte < 0x7F)
            Emit(byte);
    }
    Finish();
}

void BusPirateModel::ExecuteLine()
{
    std::string line;
    line.swap(m_line);
    for (size_t i = 0; i < line.size(); ++i) {
        switch (line[i]) {
        case ' ':
            continue;
        case '#':
            EmitText("RESET\r\n");
            ResetToTerminal();
            return;
        case 'i':
            EmitText(VersionText(m_config).c_str());
            continue;
        case 'm':
            Trace("mode menu");
            EmitText(kModeMenu);
            m_state = AdapterState::Menu;
            m_menuDigits.clear();
            return;
        case 'b':
            if (!m_config.noBaudChange) {
                Trace("serial speed menu");
                EmitText(kBaudMenu);
                m_state = AdapterState::BaudMenu;
                m_menuDigits.clear();
                return;
            }
            [[fallthrough]];
        default:
            EmitText(("Syntax error at char " + std::to_string(i + 1) + "\r\n").c_str());
            break;
        }
        break;
    }
    EmitText("HiZ>");
}

void BusPirateModel::MenuByte(uint8_t byte)
{
    if (IsDigit(byte)) {
        if (m_menuDigits.size() < kMenuDigitsMax) {
            m_menuDigits.push_back(static_cast<char>(byte));
            Emit(byte);
        } else {
            Emit(kBell);
        }
    } else if (byte == 0x08 && !m_menuDigits.empty()) {
        m_menuDigits.pop_back();
        EmitText("\x08 \x08");
    } else if (byte == '\r' || byte == '\n') {
        EmitText("\r\n");
        std::string digits;
        digits.swap(m_menuDigits);
        MenuChoice(digits);
    } else {
        Emit(kBell); // zeros too: these prompts do not count them
    }
    Finish();
}

void BusPirateModel::MenuChoice(const std::string& digits)
{
    uint32_t value = digits.empty() ? 0 : static_cast<uint32_t>(std::stoul(digits));
    switch (m_state) {
    case AdapterState::BaudMenu:
        if (digits.empty())
            value = 9;
        if (value >= 1 && value <= std::size(kMenuBauds)) {
            NewBaud(kMenuBauds[value - 1]);
        } else if (value == 10) {
            m_state = AdapterState::BaudDivisor;
            EmitText(kDivisorPrompt);
        } else {
            EmitText((std::string(kInvalidChoice) + "(9)>").c_str());
        }
        break;
    case AdapterState::BaudDivisor:
        NewBaud(kBaudClock / ((digits.empty() ? kDefaultDivisor : value) + 1));
        break;
    default:
        if (digits.empty())
            value = 1;
        if (value >= 1 && value <= 9) {
            // Every mode is taken as HiZ: the prompt is all the host needs from here. A new mode
            // starts with eight bits per byte.
            m_bitsPerByte = 8;
            m_state = AdapterState::Terminal;
            EmitText("HiZ>");
        } else {
            EmitText((std::string(kInvalidChoice) + "(1)>").c_str());
        }
        break;
    }
}

// The firmware tells the user to follow, lets the text leave, reprograms its UART and waits for a
// space at the new speed as proof that the terminal followed. A v4's USB line has no speed to set.
// Firmware 6.x waits only for room in its four-byte transmit FIFO: the bytes still in it and in the
// shift register are lost when the UART is reprogrammed.
void BusPirateModel::NewBaud(uint32_t baud)
{
    std::string text = "Adjust your terminal\r\nSpace to continue\r\n";
    if (Build().bLosesPromptTail && !IsUsb())
        text.resize(text.size() - 5);
    EmitText(text.c_str());
    m_now = std::max(m_now, m_txFree);
    if (!IsUsb())
        SetBaud(baud);
    Trace("serial speed " + std::to_string(baud) + " baud");
    m_state = AdapterState::BaudConfirm;
}

void BusPirateModel::BaudConfirmByte(uint8_t byte)
{
    if (byte == ' ') {
        m_state = AdapterState::Terminal;
        EmitText("HiZ>");
    }
    Finish();
}

void BusPirateModel::SumpByte(uint8_t byte)
{
    if (m_sumpParams > 0) {
        --m_sumpParams;
        Finish();
        return;
    }
    switch (byte) {
    case 0x00:
        // A SUMP reset returns to the prompt loop, which prints nothing until the next Enter.
        Trace("SUMP reset: back at the prompt");
        m_state = AdapterState::Terminal;
        m_zeros = 0;
        break;
    case 0x01:
        // Armed without a trigger it samples at once, sends the samples and leaves.
        Trace("SUMP run");
        m_now += kSumpSamples * kSumpSampleNs;
        for (uint32_t i = 0; i < kSumpSamples; ++i)
            Emit(0x00);
        m_state = AdapterState::Terminal;
        m_zeros = 0;
        break;
    case 0x02:
        EmitText("1ALS");
        break;
    case 0x04: {
        static constexpr uint8_t kMetadata[] = { 0x01, 'B', 'P', 'v', '3', 0x00, 0x21, 0x00, 0x00, 0x10, 0x00, 0x23,
            0x00, 0x0F, 0x42, 0x40, 0x40, 0x05, 0x41, 0x02, 0x00 };
        for (uint8_t value : kMetadata)
            Emit(value);
        break;
    }
    case 0x11:
    case 0x13:
        break;
    default:
        m_sumpParams = 4; // long commands carry four parameter bytes
        break;
    }
    Finish();
}
