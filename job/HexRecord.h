// Intel HEX record fields and the check a record passes before any of it is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

enum HexRecordType : uint8_t {
    kRecordData = 0x00,
    kRecordEndOfFile = 0x01,
    kRecordExtendedSegment = 0x02,
    kRecordStartSegment = 0x03,
    kRecordExtendedLinear = 0x04,
    kRecordStartLinear = 0x05,
};

// Scans up to width characters of line from offset as one hexadecimal number, as "%X" would:
// leading blanks, an optional sign and 0x prefix, then hex digits up to the first other
// character. Never reads outside the line; a field with no digits (or past the end) is 0.
int ParseHexField(std::string_view line, size_t offset, size_t width);

// True when line (starting with ':', its LF removed) is a well-formed record: hex digit pairs
// only (trailing CR and blanks tolerated), at least count, offset, type and checksum, exactly
// count + 5 bytes, a matching checksum, and count 2 for the extended address records.
bool CheckHexRecord(std::string_view line);

// The record line of type at offset carrying n bytes of data, checksum included, without a line end.
std::string FormatHexRecord(uint8_t type, uint16_t offset, const uint8_t* data, size_t n);
