#include "BusPirateConnect.h"

#include "BusPirateBaud.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string_view>
#include <thread>
#include <vector>

namespace {

constexpr uint8_t kEnterBinary = 0x00; // also leaves any binary protocol mode
constexpr uint8_t kEnterI2c = 0x02;
constexpr uint8_t kEnterRawWire = 0x05;
constexpr uint8_t kLeaveBinary = 0x0F; // BBIO only: in I2C mode the same byte starts the sniffer
constexpr uint8_t kI2cStart = 0x02;
constexpr uint8_t kI2cStop = 0x03;
constexpr uint8_t kI2cWriteOne = 0x10;
// Peripherals 0x4x: 0x08 power, 0x04 pull-ups, 0x01 CS released (an input, as I2C mode is open
// drain; a clear bit drives CS low). A HydraBus switches no supply and takes 0x04 for its internal
// weak pull-ups, which stay off so that the bus check below sees the bus's own.
constexpr uint8_t kPowerAndPullUps = 0x4D;
constexpr uint8_t kCsReleasedOnly = 0x41;
constexpr uint8_t kPullUpsFrom3V3 = 0x51; // v4 only: a HydraBus would take it for a bulk write
constexpr uint8_t kNobodysAddress = 0xFF; // 7-bit 0x7F, reserved: no device acknowledges it
constexpr int kZeroGapMs = 10;
constexpr int kZeroTries = 25;
constexpr int kBannerQuietMs = 500;
constexpr int kProbeTimeoutMs = 300;

bool SendByte(AdapterLink& link, uint8_t byte)
{
    return link.Send(&byte, 1);
}

// One command whose reply must be the given bytes.
bool Expect(AdapterLink& link, uint8_t command, std::string_view expected)
{
    std::string reply(expected.size(), '\0');
    if (!SendByte(link, command)
        || !link.Receive(reinterpret_cast<uint8_t*>(reply.data()), reply.size(), kReplyTimeoutMs))
        return false;
    if (reply != expected) {
        char what[64];
        std::snprintf(what, sizeof what, "0x%02X answered 0x%02X", command, static_cast<uint8_t>(reply[0]));
        link.Violation(what);
        return false;
    }
    return true;
}

bool Expect(AdapterLink& link, uint8_t command, uint8_t expected)
{
    return Expect(link, command, std::string_view(reinterpret_cast<const char*>(&expected), 1));
}

// The terminal enters binary mode at its twentieth 0x00; binary modes answer each 0x00 with
// "BBIO1" at once. The gap keeps a v3, which polls a four-byte receive FIFO and cannot listen
// while it sends those five bytes, from overrunning. What comes back is added to seen.
bool ZerosUntilBinary(AdapterLink& link, std::string& seen)
{
    for (int i = 0; i < kZeroTries; ++i) {
        if (!SendByte(link, kEnterBinary))
            return false;
        link.Collect(seen, MillisecondsFromNow(kZeroGapMs), { "BBIO1" });
        if (seen.find("BBIO1") != std::string::npos)
            return true;
    }
    // An FTDI bridge without low latency holds replies for 16 ms.
    link.Collect(seen, MillisecondsFromNow(50), { "BBIO1" });
    return seen.find("BBIO1") != std::string::npos;
}

// The zeros sent after the first "BBIO1" are answered too; once they are through, one more
// 0x00 must be answered by exactly "BBIO1".
bool ConfirmBinary(AdapterLink& link)
{
    link.Drain(50, 500);
    uint8_t reply[5] = {};
    return SendByte(link, kEnterBinary) && link.Receive(reply, sizeof reply, kReplyTimeoutMs)
        && std::string(reinterpret_cast<const char*>(reply), sizeof reply) == "BBIO1";
}

// Paced like the zeros, so that a v3 at its prompt (which echoes) loses nothing.
void SendPaced(AdapterLink& link, const std::string& text, std::string& seen)
{
    for (char c : text) {
        if (!SendByte(link, static_cast<uint8_t>(c)))
            return;
        link.Collect(seen, MillisecondsFromNow(kZeroGapMs), {}, kZeroGapMs);
    }
}

// A write-then-read command cut short waits for up to 4096 data bytes and swallows zeros. 0xFF
// fills it harmlessly: as its first byte it addresses nobody, and in I2C mode it is an unknown
// command answered with one byte, which the adapter keeps up with. Stop once answers come.
// When the command completes, its bus work keeps a v3 from reading for a while: at 115200 baud
// not even one byte arrives meanwhile, on a faster line the fill goes in pairs, each after a
// pause longer than a USB frame (sleeps shorter than that do not make gaps on the wire). Pairs,
// not fours: a driver that sends two of them in one go still leaves the FIFO a byte to spare.
// That is slow, so there it covers the commands of 1 KiB that a program of ours may have left cut
// short.
void FillPendingCommand(AdapterLink& link, std::string& seen)
{
    const std::vector<uint8_t> fill(256, 0xFF);
    const bool bFastLine = link.Baud() > kBootBaud;
    const size_t step = bFastLine ? 2 : fill.size();
    const size_t total = bFastLine ? 1024 + 8 : 17 * fill.size();
    for (size_t sent = 0; sent < total; sent += step) {
        size_t before = seen.size();
        if (!link.Send(fill.data(), step))
            return;
        link.Collect(seen, MillisecondsFromNow(bFastLine ? 2 : 40));
        if (seen.size() > before)
            break;
    }
    link.Collect(seen, MillisecondsFromNow(1000), {}, 100);
}

// seen: what the adapter answered on the way; the caller clears it.
bool ReachBinaryMode(AdapterLink& link, std::string& seen)
{
    link.Drain(50, 300);
    if (ZerosUntilBinary(link, seen))
        return ConfirmBinary(link);
    // A setup menu of the terminal does not count zeros: Enter leaves it (the speed menu then waits
    // for a space), '#' resets. What a v3 sends while it restarts is junk, not answers.
    std::string menus;
    SendPaced(link, "\n\n\n\n\n\n\n\n\n\n #", menus);
    link.Collect(menus, MillisecondsFromNow(1500), {}, 100);
    if (menus.find("RESET") == std::string::npos)
        seen += menus;
    if (ZerosUntilBinary(link, seen))
        return ConfirmBinary(link);
    FillPendingCommand(link, seen);
    return ZerosUntilBinary(link, seen) && ConfirmBinary(link);
}

// The terminal prints text; 0x00 and 0x01 are the replies of binary commands. Any of them before
// the first "BBIO1" mean that a command another program had left cut short was completed with the
// bytes sent to find the adapter, and went on the bus. The sniffer answers the zero that ends it
// with a 0x01 of its own.
bool CompletedCutShortCommand(const std::string& seen)
{
    std::string_view before = std::string_view(seen).substr(0, seen.find("BBIO1"));
    auto replies = std::count_if(before.begin(), before.end(), [](char c) { return c == '\0' || c == '\x01'; });
    return replies > 1 || (replies == 1 && before.back() != '\x01');
}

// The speeds to look for the adapter at: the boot speed, then those a program that did not end
// cleanly may have left a v3 at.
std::vector<uint32_t> CandidateBauds(uint32_t lineBaud)
{
    std::vector<uint32_t> bauds = { kBootBaud, kFastestBaud };
    if (lineBaud != kBootBaud && lineBaud != kFastestBaud)
        bauds.push_back(lineBaud);
    return bauds;
}

// Binary mode at whichever speed the adapter listens; the line is left at that speed. seen: what
// the adapter answered at that speed.
bool FindBinaryMode(AdapterLink& link, uint32_t lineBaud, std::string& seen)
{
    for (uint32_t baud : CandidateBauds(lineBaud)) {
        seen.clear();
        if (link.SetBaud(baud) && ReachBinaryMode(link, seen))
            return true;
        if (link.Dead())
            return false;
    }
    link.SetBaud(kBootBaud);
    return false;
}

// 0x0F leaves binary mode: a v3 answers 0x01 at its present speed and restarts at its boot speed,
// where the host's end follows it; a v4 only returns to its terminal. The banner comes next.
void SendLeaveBinary(AdapterLink& link, std::string& text)
{
    if (!SendByte(link, kLeaveBinary) || link.Baud() == kBootBaud)
        return;
    link.Collect(text, MillisecondsFromNow(kReplyTimeoutMs), { "\x01" });
    link.SetBaud(kBootBaud);
}

// The terminal's banner after 0x0F; a HydraBus names itself instead. A v4 that answered 0x0F and
// printed nothing may have stayed in binary mode: there a single 0x00 is answered at once, while a
// terminal only counts it.
AdapterVersion ReadBanner(AdapterLink& link)
{
    std::string text;
    SendLeaveBinary(link, text);
    link.Collect(text, MillisecondsFromNow(1500), { "HiZ>", "Hydrabus\r\n" }, kBannerQuietMs);
    AdapterVersion version = ParseBanner(text);
    if (version.hardware || version.bHydraBus || text.find('\x01') == std::string::npos)
        return version;
    std::string reply;
    if (SendByte(link, kEnterBinary))
        link.Collect(reply, MillisecondsFromNow(kProbeTimeoutMs), { "BBIO1" });
    if (reply == "BBIO1") {
        // Only community firmware "v7.1" of October 2018 to July 2025 does that, and only on a v4.
        version.hardware = 4;
        version.firmware = 7;
        version.firmwareMinor = 1;
        version.bStaysBinary = true;
    }
    return version;
}

// Binary mode with the line at the boot speed, wherever the adapter is: after a speed change
// that did not work out, or when none was asked for.
bool BinaryModeAtBootSpeed(AdapterLink& link, uint32_t lineBaud)
{
    std::string seen;
    if (!FindBinaryMode(link, lineBaud, seen))
        return false;
    if (link.Baud() == kBootBaud)
        return true;
    ReadBanner(link);
    return ReachBinaryMode(link, seen);
}

// The firmware's `b` command takes a raw divisor since 5.5; only a v3 has a UART to speed up.
bool WantsFastLine(AdapterLink& link, const AdapterVersion& version, uint32_t lineBaud)
{
    return lineBaud != kBootBaud && version.hardware == 3 && version.FirmwareAtLeast(5, 5) && link.TakesBaud(lineBaud);
}

// A v4 does not restart when it leaves binary mode, so the bits per byte a terminal user may have
// set ("0;7") outlive it, into binary I2C mode too. Raw-wire mode sets 8 as it starts. The lines it
// drives meanwhile reach a target the adapter does not power in binary mode.
bool EightBitsPerByte(AdapterLink& link)
{
    return Expect(link, kEnterRawWire, "RAW1") && Expect(link, kEnterBinary, "BBIO1");
}

bool EnterI2c(AdapterLink& link, std::string& reason)
{
    std::string text;
    if (SendByte(link, kEnterI2c))
        link.Collect(text, MillisecondsFromNow(kReplyTimeoutMs), { "I2C1" });
    if (text == "I2C1")
        return true;
    if (!link.Dead())
        reason = link.Path() + ": the adapter has no binary I2C mode (a Bus Pirate 5 or 6 in legacy mode?)";
    return false;
}

// Without pull-ups both lines read low, which looks like an acknowledge from every address.
bool BusAcknowledgesNobody(AdapterLink& link, bool& bAcknowledged)
{
    const uint8_t write[] = { kI2cWriteOne, kNobodysAddress };
    uint8_t reply[2] = {};
    if (!Expect(link, kI2cStart, 0x01) || !link.Send(write, sizeof write)
        || !link.Receive(reply, sizeof reply, kReplyTimeoutMs))
        return false;
    if (reply[0] != 0x01 || reply[1] > 1) {
        link.Violation("a bus write answered " + std::to_string(reply[0]) + " " + std::to_string(reply[1]));
        return false;
    }
    bAcknowledged = reply[1] == 0;
    return Expect(link, kI2cStop, 0x01);
}

// The v4's pull-up voltage command came with firmware 6.3; before it, 0x5x is an unknown command,
// answered 0x00 like a refusal because Vpu is fed from outside.
std::string WhyNoPullUps(const AdapterVersion& version, uint8_t pullUpVoltage)
{
    if (version.hardware != 4 || version.firmware == 0 || pullUpVoltage != 0 || version.FirmwareAtLeast(6, 3))
        return "check the pull-ups and the wiring";
    return "firmware v" + std::to_string(version.firmware) + "." + std::to_string(version.firmwareMinor)
        + " of this Bus Pirate v4 cannot switch its pull-up voltage on: upgrade the firmware (6.3 or later) or feed "
          "Vpu from outside";
}

} // namespace

bool EnterI2cMode(AdapterLink& link, const BusSpeed& speed, uint32_t lineBaud, ConnectNotes& notes, std::string& reason)
{
    reason.clear();
    std::string seen;
    if (!FindBinaryMode(link, lineBaud, seen)) {
        reason = link.Path() + ": no Bus Pirate answered";
        return false;
    }
    if (CompletedCutShortCommand(seen)) {
        notes.warning = link.Path()
            + ": finding the adapter completed a command another program had left half-sent: the EEPROM may have "
              "received a partial write";
        link.Trace().Note(notes.warning.c_str());
    }
    AdapterVersion& version = notes.version = ReadBanner(link);
    char note[112];
    std::snprintf(note, sizeof note, "banner: hardware v%d, firmware v%d.%d%s%s", version.hardware, version.firmware,
        version.firmwareMinor, version.bHydraBus ? ", HydraBus" : "",
        version.bStaysBinary ? ", stays in binary mode" : "");
    link.Trace().Note(note);
    if (version.bHydraBus && speed.hydraBusCommand < 0) {
        reason = link.Path() + ": a HydraBus has no " + speed.pszKHz
            + " kHz I2C clock: set I2CADAPTER_SPEED to 50, 100 or 400";
        return false;
    }
    bool bFast = WantsFastLine(link, version, lineBaud);
    std::string atFastLine;
    bool bBinary = bFast && ChangeLineSpeed(link, lineBaud) && ReachBinaryMode(link, atFastLine);
    if (bFast && !bBinary && !link.Dead())
        link.Trace().Note((std::to_string(lineBaud) + " baud not reached: carrying on at 115200").c_str());
    const bool bV4 = version.hardware == 4;
    bool bDone = (bBinary || BinaryModeAtBootSpeed(link, lineBaud)) && (!bV4 || EightBitsPerByte(link))
        && EnterI2c(link, reason) && Expect(link, version.bHydraBus ? kCsReleasedOnly : kPowerAndPullUps, 0x01);
    // Refused (0x00) when Vpu is already fed from outside: fine, as long as the bus check passes.
    uint8_t pullUpVoltage = 1;
    if (bDone && bV4) {
        bDone = SendByte(link, kPullUpsFrom3V3) && link.Receive(&pullUpVoltage, 1, kReplyTimeoutMs);
        if (bDone && pullUpVoltage > 1) {
            link.Violation("pull-up voltage answered " + std::to_string(pullUpVoltage));
            bDone = false;
        }
    }
    bool bAcknowledged = false;
    if (bDone) {
        // Let the target's supply settle before the first transfer.
        if (!version.bHydraBus)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        uint8_t command = version.bHydraBus ? static_cast<uint8_t>(speed.hydraBusCommand) : speed.busPirateCommand;
        bDone = Expect(link, command, 0x01) && BusAcknowledgesNobody(link, bAcknowledged);
    }
    if (!bDone) {
        if (link.Dead())
            reason = link.FailureReason();
        else if (reason.empty())
            reason = link.Path() + ": the adapter stopped answering";
        return false;
    }
    if (bAcknowledged) {
        reason = link.Path() + ": the bus acknowledges every address: " + WhyNoPullUps(version, pullUpVoltage);
        LeaveI2cMode(link, version);
        return false;
    }
    return true;
}

void LeaveI2cMode(AdapterLink& link, const AdapterVersion& version)
{
    if (link.Dead() || !Expect(link, kI2cStop, 0x01) || !Expect(link, kCsReleasedOnly, 0x01)
        || !Expect(link, kEnterBinary, "BBIO1"))
        return;
    if (version.bStaysBinary) {
        // Binary mode, everything off: where any program that speaks it starts.
        link.Trace().Note("left in binary mode: this firmware cannot return to its terminal");
        return;
    }
    // The terminal's banner that follows is of no interest; the reply to 0x0F shows it was taken.
    // After a faster line the banner comes at the boot speed, where the host's end now is too, as
    // a terminal program opening the port next expects.
    bool bFastLine = link.Baud() != kBootBaud;
    std::string text;
    SendLeaveBinary(link, text);
    link.Collect(text, MillisecondsFromNow(300), { bFastLine ? "HiZ>" : "\x01", "Hydrabus\r\n" });
}
