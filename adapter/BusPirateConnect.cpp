#include "BusPirateConnect.h"

#include "BusPirateBaud.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr uint8_t kEnterBinary = 0x00; // also leaves any binary protocol mode
constexpr uint8_t kEnterI2c = 0x02;
constexpr uint8_t kLeaveBinary = 0x0F; // BBIO only: in I2C mode the same byte starts the sniffer
constexpr uint8_t kI2cStart = 0x02;
constexpr uint8_t kI2cStop = 0x03;
constexpr uint8_t kI2cWriteOne = 0x10;
constexpr uint8_t kPowerAndPullUps = 0x4C;
constexpr uint8_t kPeripheralsOff = 0x40;
constexpr uint8_t kPullUpsFrom3V3 = 0x51; // v4 only
constexpr uint8_t kNobodysAddress = 0xFF; // 7-bit 0x7F, reserved: no device acknowledges it
constexpr int kZeroGapMs = 10;
constexpr int kZeroTries = 25;

bool SendByte(AdapterLink& link, uint8_t byte)
{
    return link.Send(&byte, 1);
}

// One command whose reply must be one given byte.
bool Expect(AdapterLink& link, uint8_t command, uint8_t expected)
{
    uint8_t reply = 0;
    if (!SendByte(link, command) || !link.Receive(&reply, 1, kReplyTimeoutMs))
        return false;
    if (reply != expected) {
        char what[64];
        std::snprintf(what, sizeof what, "0x%02X answered 0x%02X", command, reply);
        link.Violation(what);
        return false;
    }
    return true;
}

// The terminal enters binary mode at its twentieth 0x00; binary modes answer each 0x00 with
// "BBIO1" at once. The gap keeps a v3, which polls a four-byte receive FIFO and cannot listen
// while it sends those five bytes, from overrunning.
bool ZerosUntilBinary(AdapterLink& link)
{
    std::string text;
    for (int i = 0; i < kZeroTries; ++i) {
        if (!SendByte(link, kEnterBinary))
            return false;
        link.Collect(text, MillisecondsFromNow(kZeroGapMs), "BBIO1");
        if (text.find("BBIO1") != std::string::npos)
            return true;
    }
    // An FTDI bridge without low latency holds replies for 16 ms.
    link.Collect(text, MillisecondsFromNow(50), "BBIO1");
    return text.find("BBIO1") != std::string::npos;
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
void SendPaced(AdapterLink& link, const std::string& text)
{
    for (char c : text) {
        if (!SendByte(link, static_cast<uint8_t>(c)))
            return;
        link.Drain(kZeroGapMs, kZeroGapMs);
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
void FillPendingCommand(AdapterLink& link)
{
    const std::vector<uint8_t> fill(256, 0xFF);
    const bool bFastLine = link.Baud() > kBootBaud;
    const size_t step = bFastLine ? 2 : fill.size();
    const size_t total = bFastLine ? 1024 + 8 : 17 * fill.size();
    for (size_t sent = 0; sent < total; sent += step) {
        if (!link.Send(fill.data(), step))
            return;
        std::string text;
        link.Collect(text, MillisecondsFromNow(bFastLine ? 2 : 40));
        if (!text.empty())
            break;
    }
    link.Drain(100, 1000);
}

bool ReachBinaryMode(AdapterLink& link)
{
    link.Drain(50, 300);
    if (ZerosUntilBinary(link))
        return ConfirmBinary(link);
    // A setup menu of the terminal does not count zeros: Enter leaves it (the speed menu then waits
    // for a space), '#' resets.
    SendPaced(link, "\n\n\n\n\n\n\n\n\n\n #");
    link.Drain(100, 1500);
    if (ZerosUntilBinary(link))
        return ConfirmBinary(link);
    FillPendingCommand(link);
    return ZerosUntilBinary(link) && ConfirmBinary(link);
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

// Binary mode at whichever speed the adapter listens; the line is left at that speed.
bool FindBinaryMode(AdapterLink& link, uint32_t lineBaud)
{
    for (uint32_t baud : CandidateBauds(lineBaud)) {
        if (link.SetBaud(baud) && ReachBinaryMode(link))
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
    link.Collect(text, MillisecondsFromNow(kReplyTimeoutMs), "\x01");
    link.SetBaud(kBootBaud);
}

// The terminal's banner after 0x0F. Firmware 7 on a v4 may print nothing at all.
AdapterVersion ReadBanner(AdapterLink& link)
{
    std::string text;
    SendLeaveBinary(link, text);
    link.Collect(text, MillisecondsFromNow(1500), "HiZ>", 500);
    return ParseBanner(text);
}

// Binary mode with the line at the boot speed, wherever the adapter is: after a speed change
// that did not work out, or when none was asked for.
bool BinaryModeAtBootSpeed(AdapterLink& link, uint32_t lineBaud)
{
    if (!FindBinaryMode(link, lineBaud))
        return false;
    if (link.Baud() == kBootBaud)
        return true;
    ReadBanner(link);
    return ReachBinaryMode(link);
}

// The firmware's `b` command takes a raw divisor since 5.5; only a v3 has a UART to speed up.
bool WantsFastLine(AdapterLink& link, const AdapterVersion& version, uint32_t lineBaud)
{
    return lineBaud != kBootBaud && version.hardware == 3 && version.FirmwareAtLeast(5, 5) && link.TakesBaud(lineBaud);
}

bool EnterI2c(AdapterLink& link, std::string& reason)
{
    std::string text;
    if (SendByte(link, kEnterI2c))
        link.Collect(text, MillisecondsFromNow(kReplyTimeoutMs), "I2C1");
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

} // namespace

bool EnterI2cMode(
    AdapterLink& link, uint8_t speedCommand, uint32_t lineBaud, AdapterVersion& version, std::string& reason)
{
    reason.clear();
    if (!FindBinaryMode(link, lineBaud)) {
        reason = link.Path() + ": no Bus Pirate answered";
        return false;
    }
    version = ReadBanner(link);
    char note[96];
    std::snprintf(note, sizeof note, "banner: hardware v%d, firmware v%d.%d", version.hardware, version.firmware,
        version.firmwareMinor);
    link.Trace().Note(note);
    bool bFast = WantsFastLine(link, version, lineBaud);
    bool bBinary = bFast && ChangeLineSpeed(link, lineBaud) && ReachBinaryMode(link);
    if (bFast && !bBinary && !link.Dead())
        link.Trace().Note((std::to_string(lineBaud) + " baud not reached: carrying on at 115200").c_str());
    bool bAcknowledged = false;
    bool bDone = (bBinary || BinaryModeAtBootSpeed(link, lineBaud)) && EnterI2c(link, reason)
        && Expect(link, kPowerAndPullUps, 0x01);
    if (bDone && version.hardware == 4) {
        // Refused (0x00) when Vpu is already fed from outside: fine either way.
        uint8_t reply = 0;
        bDone = SendByte(link, kPullUpsFrom3V3) && link.Receive(&reply, 1, kReplyTimeoutMs);
        if (bDone && reply > 1) {
            link.Violation("pull-up voltage answered " + std::to_string(reply));
            bDone = false;
        }
    }
    if (bDone) {
        // Let the target's supply settle before the first transfer.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        bDone = Expect(link, speedCommand, 0x01) && BusAcknowledgesNobody(link, bAcknowledged);
    }
    if (!bDone) {
        if (link.Dead())
            reason = link.FailureReason();
        else if (reason.empty())
            reason = link.Path() + ": the adapter stopped answering";
        return false;
    }
    if (bAcknowledged) {
        reason = link.Path() + ": the bus acknowledges every address: check the pull-ups and the wiring";
        LeaveI2cMode(link);
        return false;
    }
    return true;
}

void LeaveI2cMode(AdapterLink& link)
{
    uint8_t reply[5] = {};
    if (link.Dead() || !Expect(link, kI2cStop, 0x01) || !Expect(link, kPeripheralsOff, 0x01)
        || !SendByte(link, kEnterBinary) || !link.Receive(reply, sizeof reply, kReplyTimeoutMs))
        return;
    // The terminal's banner that follows is of no interest; the reply to 0x0F shows it was taken.
    // After a faster line the banner comes at the boot speed, where the host's end now is too, as
    // a terminal program opening the port next expects.
    bool bFastLine = link.Baud() != kBootBaud;
    std::string text;
    SendLeaveBinary(link, text);
    link.Collect(text, MillisecondsFromNow(300), bFastLine ? "HiZ>" : "\x01");
}
