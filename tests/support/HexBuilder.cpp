#include "HexBuilder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

std::string HexRecordLine(uint8_t type, uint16_t offset, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> bytes { static_cast<uint8_t>(data.size()), static_cast<uint8_t>(offset >> 8),
        static_cast<uint8_t>(offset & 0xFF), type };
    bytes.insert(bytes.end(), data.begin(), data.end());
    unsigned sum = 0;
    for (uint8_t b : bytes)
        sum += b;
    bytes.push_back(static_cast<uint8_t>(0x100 - (sum & 0xFF)));
    std::string line = ":";
    char pair[3];
    for (uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", b);
        line += pair;
    }
    return line + "\n";
}

std::string HexData(uint16_t offset, const std::vector<uint8_t>& data)
{
    return HexRecordLine(0x00, offset, data);
}

std::string HexLinear(uint16_t upper)
{
    return HexRecordLine(0x04, 0, { static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper & 0xFF) });
}

std::string HexSegment(uint16_t segment)
{
    return HexRecordLine(0x02, 0, { static_cast<uint8_t>(segment >> 8), static_cast<uint8_t>(segment & 0xFF) });
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

TempDir::~TempDir()
{
    std::error_code ec;
    if (!m_path.empty())
        std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::Write(const std::string& name, const std::string& text) const
{
    std::string path = m_path + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
}
