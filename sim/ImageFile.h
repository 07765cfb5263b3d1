// The EEPROM contents: a file mapped shared, so that every committed page write is in the file at
// once, or an erased buffer in memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class ImageFile {
public:
    ImageFile() = default;
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;
    ~ImageFile();

    // Maps path, creating it erased (0xFF) when it is missing or empty. A file of any other size than
    // the device's is refused and left untouched. An empty path gives an erased image in memory.
    bool Open(const std::string& path, std::string& error);
    uint8_t* Data() { return m_pData; }

private:
    uint8_t* m_pData = nullptr;
    bool m_bMapped = false;
    std::vector<uint8_t> m_memory;
};
