// The data records of an Intel HEX file, or of a raw binary image cut into 16-byte records, in the
// order of the file and with their EEPROM addresses: the record check and the addressing rules of
// every job in one place.
#pragma once

#include "HexFileReader.h"

#include <cstdint>
#include <string>

// Part of a record that goes to consecutive EEPROM addresses: Data()[first] .. Data()[first + count - 1].
struct RecordBlock {
    uint32_t address;
    int first;
    int count;
};

class HexRecordReader {
public:
    // Data records of a raw binary image.
    static constexpr int kBinaryRecord = 16;

    bool Open(const std::string& path, std::string& reason);
    // A raw binary image whose first byte belongs at EEPROM address offset.
    bool OpenBinary(const std::string& path, uint32_t offset, std::string& reason);
    void Close();

    enum class Item {
        Data, // a data record, described by the accessors below
        Other, // a line with nothing to write: not a record, another record type
        End,
        ReadError, // ReadErrorReason() says why
        RecordError, // at LineNumber()
        AddressError, // at ErrorAddress(): the record (partly) lies outside the device
    };
    // Reads one line of a HEX file (one record of a binary image).
    Item Next();

    // The last data record: its line without the line end (made up for a binary image), its address
    // (where the data begins), its bytes and where they go.
    const std::string& Line() const { return m_line; }
    uint32_t Address() const { return m_address; }
    int Count() const { return m_count; }
    const uint8_t* Data() const { return m_data; }
    const RecordBlock* Blocks() const { return m_blocks; }
    int BlockCount() const { return m_nBlocks; }

    int LineNumber() const { return m_bBinary ? 0 : m_reader.LineNumber(); }
    uint32_t ErrorAddress() const { return m_errorAddress; }
    const std::string& ReadErrorReason() const;

private:
    Item NextBinary();
    Item Place(uint32_t base, uint32_t offset, bool bWraps);

    HexFileReader m_reader;
    bool m_bBinary = false;
    int m_fd = -1;
    std::string m_binaryError;
    uint32_t m_nextAddress = 0;
    uint32_t m_base = 0; // from the last extended linear or segment address record
    bool m_bSegment = false; // m_base came from a segment record: offsets wrap inside 64 KiB
    std::string m_line;
    uint32_t m_address = 0;
    int m_count = 0;
    uint8_t m_data[256] {};
    RecordBlock m_blocks[2] {};
    int m_nBlocks = 0;
    uint32_t m_errorAddress = 0;
};
