#include "BusPirateBanner.h"

#include <cctype>

namespace {

// The number at pos, or 0; pos ends after its digits.
int NumberAt(std::string_view text, size_t& pos)
{
    int value = 0;
    while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])) && value < 1000)
        value = value * 10 + (text[pos++] - '0');
    return value;
}

// The major and minor version numbers right after the first "<key>v" in text, or 0.
void VersionAfter(std::string_view text, std::string_view key, int& major, int& minor)
{
    size_t pos = text.find(key);
    if (pos == std::string_view::npos)
        return;
    pos += key.size();
    major = NumberAt(text, pos);
    if (major && pos + 1 < text.size() && text[pos] == '.')
        minor = NumberAt(text, ++pos);
}

} // namespace

AdapterVersion ParseBanner(std::string_view text)
{
    AdapterVersion version;
    int hardwareMinor = 0;
    VersionAfter(text, "Bus Pirate v", version.hardware, hardwareMinor);
    VersionAfter(text, "Firmware v", version.firmware, version.firmwareMinor);
    version.bHydraBus = text.find("Hydrabus") != std::string_view::npos;
    return version;
}
