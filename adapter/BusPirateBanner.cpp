#include "BusPirateBanner.h"

#include <cctype>

namespace {

// The major version number right after the first "<key>v" in text, or 0.
int MajorAfter(std::string_view text, std::string_view key)
{
    size_t at = text.find(key);
    if (at == std::string_view::npos)
        return 0;
    size_t pos = at + key.size();
    int value = 0;
    bool bDigits = false;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) && value < 1000) {
        value = value * 10 + (text[pos++] - '0');
        bDigits = true;
    }
    return bDigits ? value : 0;
}

} // namespace

AdapterVersion ParseBanner(std::string_view text)
{
    AdapterVersion version;
    version.hardware = MajorAfter(text, "Bus Pirate v");
    version.firmware = MajorAfter(text, "Firmware v");
    return version;
}
