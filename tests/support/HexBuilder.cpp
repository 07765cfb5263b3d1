#include "HexBuilder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <numeric>

std::string HexRecordLine(uint8_t type, uint16_t offset, const std::vector<uint8_t>& data)
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
