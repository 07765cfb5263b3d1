// Builds Intel HEX text for tests: records with correct checksums, and files in a temporary folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// A record of the given type, a data record unless told otherwise.
std::string HexData(uint16_t offset, const std::vector<uint8_t>& data, uint8_t type = 0x00);
std::string HexLinear(uint16_t upper);
std::string HexSegment(uint16_t segment);
std::string HexEnd();

// A folder removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir() { std::filesystem::remove_all(m_path, m_removal); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    // Writes text to name inside the folder and returns the full path.
    std::string Write(const std::string& name, const std::string& text) const;

private:
    std::string m_path;
    std::error_code m_removal; // a folder that is gone already, or was never made
};
