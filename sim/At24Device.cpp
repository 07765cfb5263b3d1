#include "At24Device.h"

#include <chrono>
#include <cstring>

At24Device::At24Device(uint8_t* memory, Clock clock)
    : m_pMemory(memory)
    , m_clock(std::move(clock))
{
}

uint64_t At24Device::Now() const
{
    if (m_clock)
        return m_clock();
    auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(since).count());
}

bool At24Device::Busy() const
{
    return Now() < m_busyUntil;
}

void At24Device::Start()
{
    // A repeated start inside a page write abandons it: nothing is stored.
    m_bPending = false;
    m_state = State::Select;
}

void At24Device::Stop()
{
    if (m_state == State::WriteData && m_bPending)
        Commit();
    m_bPending = false;
    m_state = State::Idle;
}

bool At24Device::Write(uint8_t byte)
{
    switch (m_state) {
    case State::Select:
        // Only 1010 and the pin bits are compared; P0 is an address bit.
        if ((byte & 0xF0) != 0xA0 || (byte & 0x0C) != m_pinBits || Busy()) {
            m_state = State::Ignore;
            return false;
        }
        if (byte & 0x01) {
            m_state = State::ReadData;
        } else {
            m_pageBit = (byte & 0x02) ? 0x10000 : 0;
            m_state = State::AddressHigh;
        }
        return true;
    case State::AddressHigh:
        m_addressHigh = byte;
        m_state = State::AddressLow;
        return true;
    case State::AddressLow:
        m_pointer = m_pageBit | (uint32_t(m_addressHigh) << 8) | byte;
        std::memset(m_written, 0, sizeof m_written);
        m_state = State::WriteData;
        return true;
    case State::WriteData: {
        uint32_t offset = m_pointer & (kPageSize - 1);
        m_page[offset] = byte;
        m_written[offset] = true;
        m_bPending = true;
        // Only the low eight bits count up: the write wraps inside its page.
        m_pointer = (m_pointer & ~(kPageSize - 1)) | ((offset + 1) & (kPageSize - 1));
        return true;
    }
    case State::ReadData:
    case State::Idle:
    case State::Ignore:
        break;
    }
    return false;
}

uint8_t At24Device::Read(bool bAck)
{
    uint8_t value = ReadByte();
    MasterAck(bAck);
    return value;
}

uint8_t At24Device::ReadByte()
{
    // Nobody drives the bus: the pull-ups read as ones. A device that expects a byte takes them for
    // one: a read in the middle of a page write writes 0xFF.
    if (m_state == State::Select || m_state == State::AddressHigh || m_state == State::AddressLow
        || m_state == State::WriteData)
        Write(0xFF);
    if (m_state != State::ReadData)
        return 0xFF;
    uint8_t value = m_pMemory[m_pointer];
    m_pointer = (m_pointer + 1) & (kSize - 1);
    return value;
}

void At24Device::MasterAck(bool bAck)
{
    if (!bAck && m_state == State::ReadData)
        m_state = State::Ignore;
}

void At24Device::StrayClock()
{
    if (m_state == State::Idle)
        return;
    m_bPending = false;
    m_state = State::Ignore;
}

void At24Device::PowerDown()
{
    m_bPending = false;
    m_state = State::Idle;
}

void At24Device::Commit()
{
    uint32_t pageStart = m_pointer & ~(kPageSize - 1);
    uint32_t first = kPageSize, last = 0;
    for (uint32_t i = 0; i < kPageSize; ++i) {
        if (!m_written[i])
            continue;
        uint8_t value = m_page[i];
        for (Fault& fault : m_faults) {
            if (fault.address == pageStart + i && fault.remaining != 0) {
                value ^= 0x01;
                if (fault.remaining > 0)
                    --fault.remaining;
                break;
            }
        }
        m_pMemory[pageStart + i] = value;
        if (first == kPageSize)
            first = i;
        last = i;
    }
    ++m_pageWrites;
    uint64_t cycle = m_writeCycleUs;
    if (m_writeCycleMaxUs > m_writeCycleUs && m_writeCycleUs != kNeverReady) {
        m_cycleSeed = m_cycleSeed * 6364136223846793005u + 1442695040888963407u;
        cycle += (m_cycleSeed >> 33) % (m_writeCycleMaxUs - m_writeCycleUs + 1);
    }
    m_busyUntil = cycle == kNeverReady ? UINT64_MAX : Now() + cycle;
    if (m_commitHook)
        m_commitHook(pageStart + first, last - first + 1);
}
