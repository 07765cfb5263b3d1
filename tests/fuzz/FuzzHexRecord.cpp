// Any line into the record check and the field scanner: no crash, no read outside the line, and a
// record the check accepts re-encodes to the digits it came from.
#include "HexRecord.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view line(reinterpret_cast<const char*>(data), size);
    for (size_t offset = 0; offset <= size + 1; ++offset) {
        ParseHexField(line, offset, 2);
        ParseHexField(line, offset, 4);
    }
    if (!CheckHexRecord(line))
        return 0;

    size_t end = size;
    while (end > 1 && (line[end - 1] == '\r' || line[end - 1] == ' ' || line[end - 1] == '\t'))
        --end;
    std::string digits(line.substr(1, end - 1));
    std::string encoded;
    unsigned sum = 0;
    for (size_t i = 0; i < digits.size() / 2; ++i) {
        int value = ParseHexField(line, 1 + 2 * i, 2);
        if (value < 0 || value > 0xFF)
            std::abort();
        sum += static_cast<unsigned>(value);
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", value);
        encoded += pair;
    }
    for (char& c : digits)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (encoded != digits || (sum & 0xFF) != 0
        || digits.size() / 2 != static_cast<size_t>(ParseHexField(line, 1, 2)) + 5)
        std::abort();
    return 0;
}
