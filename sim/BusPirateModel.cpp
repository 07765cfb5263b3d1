#include "BusPirateModel.h"

#include <algorithm>

namespace {

// SCL period for the speed settings 0x60..0x63: 5, 50, 100 and 400 kHz.
constexpr uint64_t kClockNs[4] = { 200000, 20000, 10000, 2500 };

} // namespace

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
    SetBaud(config.initialBaud);
}

void BusPirateModel::SetBaud(uint32_t baud)
{
    m_baud = baud;
    m_byteNs = m_config.bV4 ? kUsbByteNs : UartByteNs(baud);
}

void BusPirateModel::Receive(const uint8_t* pData, size_t count, uint64_t readNs)
{
    bool bMismatch = !m_config.bV4 && m_hostBaud != 0 && m_hostBaud != m_baud;
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
    // A v4's USB endpoint takes no more than the firmware has room for.
    bool bFifo = m_config.rxFifo && !m_config.bV4;
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
    case AdapterState::I2c:
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
    case AdapterState::AuxCommand: {
        m_state = AdapterState::I2c;
        uint8_t result = 0x01;
        if (byte <= 0x01)
            m_bAux = byte == 0x01;
        else if (byte == 0x03)
            result = m_bAux ? 0x01 : 0x00;
        Emit(result);
        Finish();
        break;
    }
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

void BusPirateModel::BusClocks(uint32_t clocks)
{
    m_now += clocks * kClockNs[m_speed & 3];
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
    BusClocks(9);
    ++m_busBytes;
    SettleReadAck((byte & 0x80) == 0);
    if (!PullupsWork())
        return true; // both lines low: every acknowledge bit reads as ACK
    return DeviceLive() && m_device.Write(byte);
}

uint8_t BusPirateModel::BusRead()
{
    BusClocks(8);
    ++m_busBytes;
    SettleReadAck(false);
    m_bReadAckDue = true;
    if (!PullupsWork())
        return 0x00;
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
