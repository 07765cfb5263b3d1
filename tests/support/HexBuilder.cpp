#include "HexBuilder.h"

#include <cstdlib>
#include <fstream>
#include <numeric>

std::string HexData(uint16_t offset, const std::vector<uint8_t>& data, uint8_t type)
{
    std::vector<uint8_t> bytes { static_cast<uint8_t>(data.size()), static_cast<uint8_t>(offset >> 8),
        static_cast<uint8_t>(offset & 0xFF), type };
    bytes.insert(bytes.end(), data.begin(), data.end());
    bytes.push_back(static_cast<uint8_t>(0x100 - std::accumulate(bytes.begin(), bytes.end(), 0u)));
    std::string line = ":";
    for (uint8_t b : bytes)
        line += { "0123456789ABCDEF"[b >> 4], "0123456789ABCDEF"[b & 0x0F] };
    return line + "\n";
}

std::string HexLinear(uint16_t upper)
{
    return HexData(0, { static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper & 0xFF) }, 0x04);
}

std::string HexSegment(uint16_t segment)
{
    return HexData(0, { static_cast<uint8_t>(segment >> 8), static_cast<uint8_t>(segment & 0xFF) }, 0x02);
}

std::string HexEnd()
{
    return ":00000001FF\n";
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "at24test.XXXXXX").string();
    if (::mkdtemp(pattern.data()))
        m_path = pattern;
}

std::string TempDir::Write(const std::string& name, const std::string& text) const
{
    std::ofstream(m_path + "/" + name, std::ios::binary) << text;
    return m_path + "/" + name;
}
