#include "HexRecordReader.h"

#include "EepromBlock.h"
#include "HexRecord.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool HexRecordReader::Open(const std::string& path, std::string& reason)
{
    Close();
    m_bBinary = false;
    m_base = 0;
    m_bSegment = false;
    return m_reader.Open(path, reason);
}

bool HexRecordReader::OpenBinary(const std::string& path, uint32_t offset, std::string& reason)
{
    Close();
    m_bBinary = true;
    m_nextAddress = offset;
    m_binaryError.clear();
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat st { };
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        reason = m_fd < 0 ? std::strerror(errno) : S_ISDIR(st.st_mode) ? "is a directory" : "is not a regular file";
        Close();
        return false;
    }
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
    return true;
}

void HexRecordReader::Close()
{
    m_reader.Close();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

const std::string& HexRecordReader::ReadErrorReason() const
{
    return m_bBinary ? m_binaryError : m_reader.ErrorReason();
}

// The blocks of a data record whose count bytes are in m_data. Under a segment base the offset
// wraps at 64 KiB, as Intel defines it: the record's tail then lands at the base.
HexRecordReader::Item HexRecordReader::Place(uint32_t base, uint32_t offset, bool bWraps)
{
    m_address = base + offset;
    m_blocks[0] = { base + offset, 0, m_count };
    m_nBlocks = 1;
    if (bWraps && offset + static_cast<uint32_t>(m_count) > 0x10000) {
        m_blocks[0].count = static_cast<int>(0x10000 - offset);
        m_blocks[1] = { base, m_blocks[0].count, m_count - m_blocks[0].count };
        m_nBlocks = 2;
    }
    for (int i = 0; i < m_nBlocks; ++i) {
        // A record without data writes nothing, wherever it points.
        uint32_t address = m_blocks[i].address;
        if (m_blocks[i].count > 0
            && (address >= kEepromSize || kEepromSize - address < static_cast<uint32_t>(m_blocks[i].count))) {
            m_errorAddress = address;
            return Item::AddressError;
        }
    }
    return Item::Data;
}

HexRecordReader::Item HexRecordReader::NextBinary()
{
    ssize_t n = 0;
    for (size_t got = 0; got < kBinaryRecord; got += static_cast<size_t>(n)) {
        n = ::read(m_fd, m_data + got, kBinaryRecord - got);
        if (n < 0 && errno == EINTR) {
            n = 0;
            continue;
        }
        if (n < 0) {
            m_binaryError = std::strerror(errno);
            return Item::ReadError;
        }
        if (n == 0) {
            m_count = static_cast<int>(got);
            break;
        }
        m_count = static_cast<int>(got) + static_cast<int>(n);
    }
    if (m_count == 0)
        return Item::End;
    // The record the bytes would make, so that a binary image shows as a HEX file does.
    m_line = FormatHexRecord(kRecordData, static_cast<uint16_t>(m_nextAddress), m_data, static_cast<size_t>(m_count));
    uint32_t address = m_nextAddress;
    m_nextAddress += static_cast<uint32_t>(m_count);
    return Place(0, address, false);
}

HexRecordReader::Item HexRecordReader::Next()
{
    if (m_bBinary)
        return m_fd < 0 ? Item::End : NextBinary();
    switch (m_reader.ReadLine(m_line)) {
    case HexFileReader::Status::End:
        return Item::End;
    case HexFileReader::Status::Error:
        return Item::ReadError;
    case HexFileReader::Status::BadLine:
        return Item::RecordError;
    case HexFileReader::Status::Line:
        break;
    }
    if (!m_line.empty() && m_line.back() == '\n')
        m_line.pop_back();
    if (m_line.empty() || m_line[0] != ':')
        return Item::Other;
    if (!CheckHexRecord(m_line))
        return Item::RecordError;
    m_count = ParseHexField(m_line, 1, 2);
    uint32_t offset = static_cast<uint32_t>(ParseHexField(m_line, 3, 4));
    int type = ParseHexField(m_line, 7, 2);
    if (type == kRecordExtendedLinear || type == kRecordExtendedSegment) {
        m_bSegment = type == kRecordExtendedSegment;
        uint32_t value = static_cast<uint32_t>(ParseHexField(m_line, 9, 4));
        m_base = m_bSegment ? value * 16 : value << 16;
        return Item::Other;
    }
    if (type != kRecordData)
        return Item::Other;
    for (int j = 0; j < m_count; ++j)
        m_data[j] = static_cast<uint8_t>(ParseHexField(m_line, 9 + 2 * static_cast<size_t>(j), 2));
    return Place(m_base, offset, m_bSegment);
}
