// The binary side of the adapter: bitbang mode (BBIO1), minimal SPI and raw-wire modes, and raw I2C
// (I2C1) with the bus operations it clocks, as a Bus Pirate and as a HydraBus decode it.
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
    // Entering or leaving a protocol mode sets every pin to input: power and pull-ups off, and a
    // v4's pull-up voltage too.
    SetPeripherals(false, false);
    m_bVpu = false;
    m_bAux = false;
}

void BusPirateModel::EnterI2c()
{
    Trace("I2C mode");
    BinReset();
    m_state = AdapterState::I2c;
    // A HydraBus starts at its 100 kHz with its internal pull-ups on, a Bus Pirate at its fastest.
    m_speed = IsHydraBus() ? 1 : 3;
    m_bPullups = IsHydraBus();
    m_bReadAckDue = false;
    m_i2cBaud = m_baud;
    EmitText("I2C1");
}

void BusPirateModel::LeaveBbio()
{
    if (IsHydraBus()) {
        EmitText("Hydrabus\r\n");
        m_state = AdapterState::Terminal;
        m_zeros = 0;
        return;
    }
    Emit(0x01);
    if (m_config.hardware == Hardware::V4 && Build().bV4StaysBinary) {
        // The command handler returns to the bitbang loop instead of leaving it.
        Trace("0x0F: still in binary mode");
        BinReset();
        return;
    }
    ResetToTerminal();
}

void BusPirateModel::BbioByte(uint8_t byte)
{
    if (byte == 0x00) {
        EmitText("BBIO1");
    } else if (byte == 0x01) {
        Trace("SPI mode");
        BinReset();
        m_state = AdapterState::Spi;
        m_bulkLeft = 0;
        EmitText("SPI1");
    } else if (byte == 0x02) {
        EnterI2c();
    } else if (byte == 0x05) {
        Trace("raw-wire mode");
        BinReset();
        m_bitsPerByte = 8;
        m_state = AdapterState::RawWire;
        EmitText("RAW1");
    } else if (byte == 0x0F) {
        LeaveBbio();
    } else if (IsHydraBus()) {
        // Unknown: 0x01, then the mode's name as after every command.
        Emit(0x01);
        EmitText("BBIO1");
    } else if (byte & 0x80) {
        // Pins and supplies set directly; the reply reads the pins back.
        SetPeripherals(byte & 0x40, byte & 0x20);
        Emit(byte);
    } else if (byte & 0x40) {
        Emit(byte); // pin directions
    } else {
        Emit(0x00);
    }
    Finish();
}

void BusPirateModel::RawWireByte(uint8_t byte)
{
    if (byte == 0x00) {
        BinReset();
        m_state = AdapterState::Bbio;
        EmitText("BBIO1");
    } else if (byte == 0x01) {
        EmitText("RAW1");
    } else {
        Emit(0x00); // no raw-wire bus here
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
    case 0x5: {
        // The on-board pull-up supply exists on the v4 only, and its command since firmware 6.3. It
        // is refused when Vpu already carries a voltage from outside.
        bool bKnown = m_config.hardware == Hardware::V4 && Build().bPullUpVoltage;
        bool bApplied = bKnown && !m_config.externalVpu;
        if (bApplied)
            m_bVpu = byte == 0x51 || byte == 0x52;
        Emit(bApplied ? 0x01 : 0x00);
        break;
    }
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

void BusPirateModel::HydraBusI2cByte(uint8_t byte)
{
    switch (byte) {
    case 0x00:
    case 0x01:
    case 0x02:
    case 0x03:
    case 0x04:
    case 0x06:
    case 0x07:
    case 0x08:
    case 0x0F:
        I2cByte(byte); // as on a Bus Pirate
        return;
    case 0x20: // clock stretching timeout, four bytes
        m_state = AdapterState::Arguments;
        m_argumentsLeft = 4;
        m_freeAt = m_now;
        return;
    default:
        break;
    }
    // The rest is decoded by masks, in this order: so 0x5x and 0x7x are bulk writes.
    if ((byte & 0xC0) == 0xC0) {
        if ((byte & 0xF0) == 0xF0) { // AUX pin modes, one byte
            m_state = AdapterState::Arguments;
            m_argumentsLeft = 1;
            m_freeAt = m_now;
            return;
        }
        Emit((byte & 0xF0) == 0xD0 ? 0x01 : 0x00);
    } else if (byte & 0x10) {
        Emit(0x01);
        m_state = AdapterState::BulkWrite;
        m_bulkLeft = (byte & 0x0F) + 1u;
        m_writeBytes.clear();
        m_freeAt = m_now;
        return;
    } else if ((byte & 0x60) == 0x60) {
        m_speed = byte & 0x03;
        Emit(0x01);
    } else if (byte & 0x40) {
        // Only its internal pull-ups and AUX: no supply to switch.
        m_bPullups = byte & 0x04;
        Trace(std::string("internal pull-ups ") + (m_bPullups ? "on" : "off"));
        Emit(0x01);
    }
    Finish();
}

void BusPirateModel::AuxByte(uint8_t byte)
{
    m_state = AdapterState::I2c;
    uint8_t result = 0x01;
    if (byte <= 0x01)
        m_bAux = byte == 0x01;
    else if (byte == 0x03)
        result = m_bAux ? 0x01 : 0x00;
    Emit(result);
    Finish();
}

void BusPirateModel::ArgumentByte()
{
    if (--m_argumentsLeft > 0) {
        m_freeAt = m_now;
        return;
    }
    m_state = AdapterState::I2c;
    Emit(0x01);
    Finish();
}

void BusPirateModel::BulkWriteByte(uint8_t byte)
{
    if (IsHydraBus()) {
        // A HydraBus takes all the bytes first, then puts them on the bus.
        m_writeBytes.push_back(byte);
        if (--m_bulkLeft > 0) {
            m_freeAt = m_now;
            return;
        }
        for (uint8_t value : m_writeBytes)
            Emit(BusWrite(value) ? 0x00 : 0x01);
        m_state = AdapterState::I2c;
        Finish();
        return;
    }
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
        if (m_writeCount > kMaxTransfer || m_readCount > kMaxTransfer || (Build().bRefusesEmpty && bEmpty)) {
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
    // Later community firmware turns a write followed by reads into a random read: repeated start,
    // select for read. Elsewhere the reads follow the written bytes directly.
    if (Build().bRepeatedStart && m_writeCount > 1 && m_readCount > 0) {
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
