// A block of bytes at a 17-bit address, as the I2C transactions of an AT24C1024-family EEPROM.
// Pins and the write wait come from JobSettings.
#pragma once

#include <cstdint>

constexpr uint32_t kEepromSize = 0x20000;
constexpr uint32_t kEepromPageSize = 256;

// Page write(s), each followed by the write wait. A block that crosses a 256-byte page boundary
// is sent as one transaction per page, because the device wraps a page write inside its page.
// false when the adapter reported a byte the device did not acknowledge, or a failed link.
bool EepromWriteBlock(uint32_t address, int count, const uint8_t* data);
// One page write, without a wait; the block must not cross a page boundary.
bool EepromPageWrite(uint32_t address, int count, const uint8_t* data);
// Polls the device's acknowledge until its write cycle is over: false when it is not within maxMs.
bool EepromAwaitWrite(uint32_t address, int maxMs);
// EepromReadBlock once the write cycle is over, the read's own select byte the poll: false when no
// read went through within maxMs. Saves a poll's round trip where the device is seldom still busy.
bool EepromReadAfterWrite(uint32_t address, int count, uint8_t* buffer, int maxMs);
// One random read of count bytes (at least one byte is read, into buffer[0]); the device's
// address counter runs through its whole 128 KiB. false when the device refused its select or
// address, or a read did not take place: the buffer then means nothing.
bool EepromReadBlock(uint32_t address, int count, uint8_t* buffer);
