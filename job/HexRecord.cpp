#include "HexRecord.h"

#include <cstdio>

namespace {

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool IsScanfSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

} // namespace

int ParseHexField(std::string_view line, size_t offset, size_t width)
{
    if (offset >= line.size())
        return 0;
    std::string_view field = line.substr(offset, width);
    // A NUL ends the field: a record line never holds one, and a text that does is not a record.
    field = field.substr(0, field.find('\0'));

    size_t i = 0;
    while (i < field.size() && IsScanfSpace(field[i]))
        ++i;
    bool negative = false;
    if (i < field.size() && (field[i] == '+' || field[i] == '-')) {
        negative = field[i] == '-';
        ++i;
    }
    if (i + 1 < field.size() && field[i] == '0' && (field[i + 1] == 'x' || field[i + 1] == 'X') && i + 2 < field.size()
        && HexDigitValue(field[i + 2]) >= 0)
        i += 2;
    unsigned value = 0;
    for (; i < field.size(); ++i) {
        int digit = HexDigitValue(field[i]);
        if (digit < 0)
            break;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return static_cast<int>(negative ? 0u - value : value);
}

bool CheckHexRecord(std::string_view line)
{
    if (line.empty() || line[0] != ':')
        return false;
    size_t end = line.size();
    while (end > 1 && (line[end - 1] == '\r' || line[end - 1] == ' ' || line[end - 1] == '\t'))
        --end;
    std::string_view digits = line.substr(1, end - 1);
    if (digits.size() % 2 != 0 || digits.size() < 10)
        return false;
    for (char c : digits) {
        if (HexDigitValue(c) < 0)
            return false;
    }
    size_t nBytes = digits.size() / 2;
    int count = ParseHexField(line, 1, 2);
    if (nBytes != static_cast<size_t>(count) + 5)
        return false;
    int type = ParseHexField(line, 7, 2);
    if ((type == kRecordExtendedSegment || type == kRecordExtendedLinear) && count != 2)
        return false;
    unsigned sum = 0;
    for (size_t i = 0; i < nBytes; ++i)
        sum += static_cast<unsigned>(ParseHexField(line, 1 + 2 * i, 2));
    return (sum & 0xFF) == 0;
}

std::string FormatHexRecord(uint8_t type, uint16_t offset, const uint8_t* data, size_t n)
{
    const uint8_t head[]
        = { static_cast<uint8_t>(n), static_cast<uint8_t>(offset >> 8), static_cast<uint8_t>(offset), type };
    std::string line = ":";
    uint8_t sum = 0;
    char pair[3];
    auto add = [&](uint8_t byte) {
        std::snprintf(pair, sizeof pair, "%02X", byte);
        line += pair;
        sum = static_cast<uint8_t>(sum + byte);
    };
    for (uint8_t byte : head)
        add(byte);
    for (size_t i = 0; i < n; ++i)
        add(data[i]);
    add(static_cast<uint8_t>(0x100 - sum));
    return line;
}
