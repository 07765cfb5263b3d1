// An AT24C1024-family EEPROM at the level of I2C bus events: select byte with two pin bits and
// the P0 address bit, 256-byte pages that wrap on write, a 17-bit read counter, and no
// acknowledge during the internal write cycle.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

class At24Device {
public:
    static constexpr uint32_t kSize = 0x20000;
    static constexpr uint32_t kPageSize = 256;
    using Clock = std::function<uint64_t()>; // microseconds, monotonic

    // memory holds kSize bytes and outlives the device.
    explicit At24Device(uint8_t* memory, Clock clock = {});

    // Select bits 0x04 and 0x08 the device's pins answer to.
    void SetPins(uint8_t pinBits) { m_pinBits = pinBits & 0x0C; }
    // The internal write cycle: us, or a length drawn anew for each page write from us to maxUs.
    // kNeverReady: the first page write leaves the device busy for good.
    static constexpr uint64_t kNeverReady = UINT64_MAX;
    void SetWriteCycleUs(uint64_t us, uint64_t maxUs = 0)
    {
        m_writeCycleUs = us;
        m_writeCycleMaxUs = std::max(us, maxUs);
    }
    // The first count page writes that cover address store it with bit 0 flipped.
    void AddCorrupt(uint32_t address, int count) { m_faults.push_back({ address & (kSize - 1), count }); }
    // Every page write that covers address stores it with bit 0 flipped.
    void AddStuck(uint32_t address) { m_faults.push_back({ address & (kSize - 1), -1 }); }
    // Called after each committed page write with the first address and the number of bytes.
    void SetCommitHook(std::function<void(uint32_t, uint32_t)> hook) { m_commitHook = std::move(hook); }

    void Start(); // start or repeated start
    void Stop();
    bool Write(uint8_t byte); // true when the device acknowledges
    uint8_t Read(bool bAck); // bAck: the master acknowledges (wants more)

    // Read split at the acknowledge, for masters that clock the ninth bit separately.
    uint8_t ReadByte(); // the eight data clocks: 0xFF when the device does not drive the bus, and takes it
    void MasterAck(bool bAck); // the ninth clock
    // A clock outside any byte shifts the device's bit count: the rest of the transaction is lost.
    void StrayClock();
    // Supply off: the transaction in progress and its buffered page are lost.
    void PowerDown();

    bool Busy() const;
    uint32_t Pointer() const { return m_pointer; }
    uint64_t PageWrites() const { return m_pageWrites; }

private:
    enum class State { Idle, Select, AddressHigh, AddressLow, WriteData, ReadData, Ignore };
    struct Fault {
        uint32_t address;
        int remaining; // -1: every time
    };

    uint64_t Now() const;
    void Commit();

    uint8_t* m_pMemory;
    Clock m_clock;
    uint8_t m_pinBits = 0;
    uint64_t m_writeCycleUs = 5000;
    uint64_t m_writeCycleMaxUs = 5000;
    uint64_t m_cycleSeed = 0x9E3779B97F4A7C15u; // the same lengths on every run
    uint64_t m_busyUntil = 0;
    State m_state = State::Idle;
    uint32_t m_pointer = 0;
    uint32_t m_pageBit = 0;
    uint8_t m_addressHigh = 0;
    uint8_t m_page[kPageSize] {};
    bool m_written[kPageSize] {};
    bool m_bPending = false;
    uint64_t m_pageWrites = 0;
    std::vector<Fault> m_faults;
    std::function<void(uint32_t, uint32_t)> m_commitHook;
};
