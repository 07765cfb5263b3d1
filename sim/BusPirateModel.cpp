#include "BusPirateModel.h"

#include <algorithm>

namespace {

// SCL period for the speed settings 0x60..0x63: a Bus Pirate's 5, 50, 100 and 400 kHz, a HydraBus's
// 50, 100, 400 kHz and 1 MHz.
constexpr uint64_t kClockNs[4] = { 200000, 20000, 10000, 2500 };
constexpr uint64_t kHydraBusClockNs[4] = { 20000, 10000, 2500, 1000 };
// An AT24C1024 at 3.3 V, as a HydraBus's lines run, takes up to 400 kHz.
constexpr uint64_t kFastestDeviceClockNs = 2500;

} // namespace

// Firmware 6.1 and 6.2 from BusPirate/Bus_Pirate's tags, 6.3 from DangerousPrototypes/Bus_Pirate's last
// commit; the community firmware from BusPirate/Bus_Pirate: v7.0, "v7.1" as built from 2016-12-27,
// "v7.1" as built from 2018-10-05 (repeated start since 2018-05-03, the v4's 0x0F fixed on
// 2025-07-09), and 8.0.
const FirmwareBuild kFirmwareBuilds[7] = {
    { "6.1", "Firmware v6.1 r1676 ", "no 0x08 restart, no v4 pull-up voltage command, speed dialog loses its end",
        false, true, false, false, false },
    { "6.2", "Firmware v6.2-beta1 r1981 ", "as 6.1", false, true, false, false, false },
    { "6.3", "Firmware v6.3-beta1 r2151 ", "as 6.2 with the v4's pull-up voltage command (the default)", false, true,
        true, false, false },
    { "7.0", "Community Firmware v7.0 - goo.gl/gCzQnW ", "as 6.3 with the speed dialog fixed", false, false, true,
        false, false },
    { "7.1-2017", "Community Firmware v7.1 - goo.gl/gCzQnW ", "\"v7.1\" built before May 2018: as 7.0", false, false,
        true, false, false },
    { "7.1", "Community Firmware v7.1 - goo.gl/gCzQnW ",
        "\"v7.1\" built from October 2018: 0x08 restarts; 0x0F leaves a v4 in binary mode", true, false, true, true,
        true },
    { "8.0", "ElderlyPirate Firmware v8.0 ", "as 7.1 with the v4's 0x0F fixed", true, false, true, false, true },
};

// HydraBus's BBIO1 clone: no repeated start in 0x08, which takes 0/0 as a bare start and stop.
const FirmwareBuild kHydraBusFirmware = { "hydrabus", "", "", false, false, false, false, false };

const FirmwareBuild& BusPirateModel::Build(const BusPirateConfig& config)
{
    return config.hardware == Hardware::HydraBus ? kHydraBusFirmware
                                                 : kFirmwareBuilds[static_cast<size_t>(config.firmware)];
}

BusPirateModel::BusPirateModel(uint8_t* memory, const BusPirateConfig& config)
    : m_config(config)
    , m_device(memory, [this] { return m_now / 1000; })
    , m_state(config.initial)
{
    switch (m_state) {
    case AdapterState::I2c:
    case AdapterState::Sniffer:
    case AdapterState::BulkWrite:
    case AdapterState::WriteThenRead:
    case AdapterState::AuxCommand:
        // A program that left the adapter in I2C mode had the target powered.
        m_bPower = m_bPullups = true;
        m_bVpu = Build().bPullUpVoltage;
        break;
    default:
        break;
    }
    if (m_state == AdapterState::BulkWrite)
        m_bulkLeft = 16;
    if (m_state == AdapterState::WriteThenRead) {
        m_headerGot = 4;
        m_writeCount = std::clamp<uint32_t>(config.pendingWrites, 1, kMaxTransfer);
    }
    m_bHung = config.muteAfter == 0;
    m_bHangUp = config.hangupAfter == 0;
    m_bitsPerByte = config.bitsPerByte;
    m_speed = IsHydraBus() ? 1 : 3;
    SetBaud(config.initialBaud);
}

void BusPirateModel::SetBaud(uint32_t baud)
{
    m_baud = baud;
    m_byteNs = IsUsb() ? kUsbByteNs : UartByteNs(baud);
}

void BusPirateModel::Receive(const uint8_t* pData, size_t count, uint64_t readNs)
{
    bool bMismatch = !IsUsb() && m_hostBaud != 0 && m_hostBaud != m_baud;
    if (bMismatch && count > 0 && !m_bHangUp && !m_bHung) {
        Trace("host at " + std::to_string(m_hostBaud) + " baud, adapter at " + std::to_string(m_baud) + ": "
            + std::to_string(count) + " bytes lost");
    }
    for (size_t i = 0; i < count; ++i) {
        ++m_received;
        if (m_bHangUp || m_bHung)
            continue;
        if (bMismatch) {
            ++m_dropped;
        } else {
            // The pty hands over a whole burst at once; the UART delivers one byte per frame time.
            uint64_t arrival = m_bArrived ? std::max(readNs, m_lastArrival + m_byteNs) : readNs;
            m_bArrived = true;
            m_lastArrival = arrival;
            Accept(pData[i], arrival);
        }
        if (m_received >= m_config.muteAfter && !m_bHung) {
            m_bHung = true;
            Trace("muted: answers nothing more");
        }
        if (m_received >= m_config.hangupAfter) {
            m_bHangUp = true;
            Trace("hang-up");
        }
    }
}

void BusPirateModel::Accept(uint8_t byte, uint64_t arrivalNs)
{
    // A USB endpoint takes no more than the firmware has room for.
    bool bFifo = m_config.rxFifo && !IsUsb();
    if (bFifo) {
        while (!m_waiting.empty() && m_waiting.front() <= arrivalNs)
            m_waiting.pop_front();
        if (m_waiting.size() >= m_config.rxFifo) {
            m_now = arrivalNs;
            // The prompt loop clears the error and goes on without the byte; binary modes never do.
            if (m_state == AdapterState::Terminal) {
                ++m_dropped;
                Trace("overrun at the prompt: byte lost");
                return;
            }
            m_bHung = m_bOverrun = true;
            Trace("overrun: the UART stops receiving");
            return;
        }
    }
    m_commandArrival = arrivalNs;
    m_now = std::max(arrivalNs, m_freeAt);
    if (bFifo && m_now > arrivalNs)
        m_waiting.push_back(m_now);
    Process(byte);
}

void BusPirateModel::Process(uint8_t byte)
{
    switch (m_state) {
    case AdapterState::Terminal:
        if (IsHydraBus())
            ConsoleByte(byte);
        else
            TerminalByte(byte);
        break;
    case AdapterState::Menu:
    case AdapterState::BaudMenu:
    case AdapterState::BaudDivisor:
        MenuByte(byte);
        break;
    case AdapterState::BaudConfirm:
        BaudConfirmByte(byte);
        break;
    case AdapterState::Sump:
        SumpByte(byte);
        break;
    case AdapterState::Bbio:
        BbioByte(byte);
        break;
    case AdapterState::Spi:
        SpiByte(byte);
        break;
    case AdapterState::RawWire:
        RawWireByte(byte);
        break;
    case AdapterState::I2c:
        if (IsHydraBus())
            HydraBusI2cByte(byte);
        else
            I2cByte(byte);
        break;
    case AdapterState::Sniffer:
        Trace("sniffer left");
        m_state = AdapterState::I2c;
        Emit(0x01);
        Finish();
        break;
    case AdapterState::BulkWrite:
        BulkWriteByte(byte);
        break;
    case AdapterState::WriteThenRead:
        WriteThenReadByte(byte);
        break;
    case AdapterState::AuxCommand:
        AuxByte(byte);
        break;
    case AdapterState::Arguments:
        ArgumentByte();
        break;
    }
}

void BusPirateModel::Finish()
{
    m_freeAt = std::max(m_now, m_txFree);
}

void BusPirateModel::Emit(uint8_t byte)
{
    // A host round trip: the command came after every earlier reply had left, so the host had
    // waited for them. Replies to commands sent ahead join the round trip in flight.
    if (!m_bReplied || m_commandArrival > m_burstLeave)
        ++m_roundTrips;
    uint64_t ready = std::max(m_now, m_txFree) + m_byteNs;
    m_txFree = ready;
    // The bridge holds a burst for the latency; a byte that finds it still held goes with it.
    if (!m_bReplied || ready > m_burstLeave)
        m_burstLeave = ready + m_config.latencyNs;
    m_bReplied = true;
    m_replies.push_back({ byte, m_burstLeave });
}

void BusPirateModel::EmitText(const char* pszText)
{
    for (const char* p = pszText; *p; ++p)
        Emit(static_cast<uint8_t>(*p));
}

size_t BusPirateModel::TakeDue(uint64_t nowNs, std::vector<uint8_t>& out)
{
    size_t count = 0;
    while (!m_replies.empty() && m_replies.front().leaveNs <= nowNs) {
        out.push_back(m_replies.front().byte);
        m_replies.pop_front();
        ++count;
    }
    return count;
}

void BusPirateModel::Trace(const std::string& text)
{
    if (m_trace)
        m_trace(m_now, text);
}

bool BusPirateModel::PullupsWork() const
{
    // A HydraBus's weak internal pull-ups hold the lines high too; a v4 feeds its pull-ups from its
    // own supply once told to; a v3's Vpu is wired to a supply.
    switch (m_config.hardware) {
    case Hardware::HydraBus:
        return m_bPullups || !m_config.noPullups;
    case Hardware::V4:
        return m_bPullups && (m_bVpu || m_config.externalVpu) && !m_config.noPullups;
    case Hardware::V3:
        break;
    }
    return m_bPullups && !m_config.noPullups;
}

bool BusPirateModel::DeviceLive() const
{
    // A HydraBus switches no supply: the EEPROM is powered from elsewhere.
    return PullupsWork() && (m_bPower || IsHydraBus()) && !m_config.noDevice && ClockNs() >= kFastestDeviceClockNs;
}

uint64_t BusPirateModel::ClockNs() const
{
    return (IsHydraBus() ? kHydraBusClockNs : kClockNs)[m_speed & 3];
}

void BusPirateModel::BusClocks(uint32_t clocks)
{
    m_now += clocks * ClockNs();
}

void BusPirateModel::SettleReadAck(bool bAck)
{
    if (!m_bReadAckDue)
        return;
    // The next bus operation's first clock is taken as the ninth clock of the read.
    m_bReadAckDue = false;
    Trace(bAck ? "read left without ACK/NACK: taken as ACK" : "read left without ACK/NACK: taken as NACK");
    if (DeviceLive())
        m_device.MasterAck(bAck);
}

void BusPirateModel::BusStart()
{
    BusClocks(1);
    SettleReadAck(false);
    if (DeviceLive())
        m_device.Start();
}

void BusPirateModel::BusStop()
{
    BusClocks(1);
    SettleReadAck(true);
    if (DeviceLive())
        m_device.Stop();
}

bool BusPirateModel::BusWrite(uint8_t byte)
{
    BusClocks(static_cast<uint32_t>(m_bitsPerByte) + 1);
    ++m_busBytes;
    SettleReadAck((byte & 0x80) == 0);
    if (!PullupsWork())
        return true; // both lines low: every acknowledge bit reads as ACK
    if (m_bitsPerByte != 8) {
        // Out of step, the device takes the master's acknowledge clock for a data bit and drives nothing.
        if (DeviceLive())
            m_device.StrayClock();
        return false;
    }
    return DeviceLive() && m_device.Write(byte);
}

uint8_t BusPirateModel::BusRead()
{
    BusClocks(static_cast<uint32_t>(m_bitsPerByte));
    ++m_busBytes;
    SettleReadAck(false);
    m_bReadAckDue = true;
    if (!PullupsWork())
        return 0x00;
    if (m_bitsPerByte != 8 && DeviceLive())
        m_device.StrayClock();
    return DeviceLive() ? m_device.ReadByte() : 0xFF;
}

void BusPirateModel::BusAck(bool bAck)
{
    BusClocks(1);
    if (m_bReadAckDue) {
        m_bReadAckDue = false;
        if (DeviceLive())
            m_device.MasterAck(bAck);
        return;
    }
    Trace("ACK/NACK without a read: a stray clock");
    if (DeviceLive())
        m_device.StrayClock();
}
