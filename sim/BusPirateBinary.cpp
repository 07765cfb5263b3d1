// The binary side of the adapter: bitbang mode (BBIO1), a minimal SPI mode, and raw I2C (I2C1) with
// the bus operations it clocks.
#include "BusPirateModel.h"

#include <cstdio>

namespace {

std::string Hex(uint8_t byte)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

} // namespace

void BusPirateModel::SetPeripherals(bool bPower, bool bPullups)
{
    if (m_bPower && !bPower) {
        m_device.PowerDown();
        m_bReadAckDue = false;
    }
    m_bPower = bPower;
    m_bPullups = bPullups;
}

void BusPirateModel::BinReset()
{
    // Entering or leaving a protocol mode sets every pin to input: power and pull-ups off.
    SetPeripherals(false, false);
    m_bAux = false;
}

void BusPirateModel::BbioByte(uint8_t byte)
{
    if (byte & 0x80) {
        // Pins and supplies set directly; the reply reads the pins back.
        SetPeripherals(byte & 0x40, byte & 0x20);
        Emit(byte);
    } else if (byte & 0x40) {
        Emit(byte); // pin directions
    } else if (byte == 0x00) {
        EmitText("BBIO1");
    } else if (byte == 0x01) {
        Trace("SPI mode");
        BinReset();
        m_state = AdapterState::Spi;
        m_bulkLeft = 0;
        EmitText("SPI1");
    } else if (byte == 0x02) {
        Trace("I2C mode");
        BinReset();
        m_state = AdapterState::I2c;
        m_speed = 3;
        m_bReadAckDue = false;
        m_i2cBaud = m_baud;
        EmitText("I2C1");
    } else if (byte == 0x0F) {
        Emit(0x01);
        ResetToTerminal();
    } else {
        Emit(0x00);
    }
    Finish();
}

void BusPirateModel::SpiByte(uint8_t byte)
{
    if (m_bulkLeft > 0) {
        Emit(0xFF); // nothing drives MISO
        if (--m_bulkLeft > 0) {
            m_freeAt = m_now;
            return;
        }
        Finish();
        return;
    }
    switch (byte >> 4) {
    case 0x0:
        if (byte == 0x00) {
            BinReset();
            m_state = AdapterState::Bbio;
            EmitText("BBIO1");
        } else if (byte == 0x01) {
            EmitText("SPI1");
        } else {
            Emit(byte <= 0x03 ? 0x01 : 0x00);
        }
        break;
    case 0x1:
        Emit(0x01);
        m_bulkLeft = (byte & 0x0F) + 1u;
        m_freeAt = m_now;
        return;
    case 0x4:
        SetPeripherals(byte & 0x08, byte & 0x04);
        Emit(0x01);
        break;
    case 0x6:
    case 0x8:
        Emit(0x01);
        break;
    default:
        Emit(0x00);
        break;
    }
    Finish();
}

void BusPirateModel::I2cByte(uint8_t byte)
{
    switch (byte >> 4) {
    case 0x0:
        switch (byte) {
        case 0x00:
            Trace("I2C -> BBIO");
            BinReset();
            m_state = AdapterState::Bbio;
            EmitText("BBIO1");
            break;
        case 0x01:
            EmitText("I2C1");
            break;
        case 0x02:
            BusStart();
            Trace("start");
            Emit(0x01);
            break;
        case 0x03:
            BusStop();
            Trace("stop");
            Emit(0x01);
            break;
        case 0x04: {
            uint8_t value = BusRead();
            Trace("read " + Hex(value));
            Emit(value);
            break;
        }
        case 0x06:
        case 0x07:
            BusAck(byte == 0x06);
            Emit(0x01);
            break;
        case 0x08:
            m_state = AdapterState::WriteThenRead;
            m_headerGot = 0;
            m_freeAt = m_now;
            return;
        case 0x09:
            m_state = AdapterState::AuxCommand;
            Emit(0x01);
            m_freeAt = m_now;
            return;
        case 0x0F:
            Trace("sniffer");
            m_state = AdapterState::Sniffer;
            break;
        default:
            Emit(0x00);
            break;
        }
        break;
    case 0x1:
        Emit(0x01);
        m_state = AdapterState::BulkWrite;
        m_bulkLeft = (byte & 0x0F) + 1u;
        m_freeAt = m_now;
        return;
    case 0x4:
        SetPeripherals(byte & 0x08, byte & 0x04);
        m_bAux = byte & 0x02;
        Trace(std::string("power ") + (m_bPower ? "on" : "off") + ", pull-ups " + (m_bPullups ? "on" : "off"));
        Emit(0x01);
        break;
    case 0x5:
        // The on-board pull-up supply exists on the v4 only.
        Emit(m_config.bV4 ? 0x01 : 0x00);
        break;
    case 0x6:
        m_speed = byte & 0x03;
        Emit(0x01);
        break;
    default:
        Emit(0x00);
        break;
    }
    Finish();
}

void BusPirateModel::BulkWriteByte(uint8_t byte)
{
    // Each byte goes on the bus before the next is taken; its ACK leaves while the next one is clocked.
    bool bAck = BusWrite(byte);
    Trace("write " + Hex(byte) + (bAck ? " ACK" : " NACK"));
    Emit(bAck ? 0x00 : 0x01);
    if (--m_bulkLeft > 0) {
        m_freeAt = m_now;
        return;
    }
    m_state = AdapterState::I2c;
    Finish();
}

void BusPirateModel::WriteThenReadByte(uint8_t byte)
{
    // The counts and the write bytes are taken in a tight loop as they arrive.
    if (m_headerGot < 4) {
        m_header[m_headerGot++] = byte;
        if (m_headerGot < 4) {
            m_freeAt = m_now;
            return;
        }
        m_writeCount = (uint32_t(m_header[0]) << 8) | m_header[1];
        m_readCount = (uint32_t(m_header[2]) << 8) | m_header[3];
        m_writeBytes.clear();
        bool bEmpty = m_writeCount == 0 && m_readCount == 0;
        if (m_writeCount > kMaxTransfer || m_readCount > kMaxTransfer || (m_config.firmware >= 7 && bEmpty)) {
            // Refused before any write byte is taken: what follows is read as commands.
            Trace("write-then-read refused");
            m_state = AdapterState::I2c;
            Emit(0x00);
            Finish();
            return;
        }
        if (m_writeCount > 0) {
            m_freeAt = m_now;
            return;
        }
        RunWriteThenRead();
        return;
    }
    m_writeBytes.push_back(byte);
    if (m_writeBytes.size() < m_writeCount) {
        m_freeAt = m_now;
        return;
    }
    RunWriteThenRead();
}

void BusPirateModel::RunWriteThenRead()
{
    m_state = AdapterState::I2c;
    Trace("write-then-read " + std::to_string(m_writeCount) + "/" + std::to_string(m_readCount));
    BusStart();
    // A NACK ends the command at once: 0x00, and no stop on the bus.
    for (uint8_t value : m_writeBytes) {
        if (!BusWrite(value)) {
            Trace("write " + Hex(value) + " NACK: aborted without stop");
            Emit(0x00);
            Finish();
            return;
        }
    }
    // Firmware 7 turns a write followed by reads into a random read: repeated start, select for read.
    if (m_config.firmware >= 7 && m_writeCount > 1 && m_readCount > 0) {
        BusStart();
        if (!BusWrite(m_writeBytes[0] | 0x01)) {
            Trace("read select NACK: aborted without stop");
            Emit(0x00);
            Finish();
            return;
        }
    }
    std::vector<uint8_t> data(m_readCount);
    for (uint32_t i = 0; i < m_readCount; ++i) {
        data[i] = BusRead();
        BusAck(i + 1 < m_readCount);
    }
    BusStop();
    Emit(0x01);
    for (uint8_t value : data)
        Emit(value);
    Finish();
}
