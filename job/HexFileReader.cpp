#include "HexFileReader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr size_t kReadChunk = 64 * 1024;
constexpr int kCtrlZ = 0x1A;
constexpr int kEndOfFile = -1;
constexpr int kReadError = -2;
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
} // namespace

HexFileReader::~HexFileReader()
{
    Close();
}

bool HexFileReader::Open(const std::string& path, std::string& reason)
{
    Close();
    // O_NONBLOCK so that a FIFO or a terminal named by mistake cannot stall the job.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        reason = std::strerror(errno);
        return false;
    }
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        reason = S_ISDIR(st.st_mode) ? "is a directory" : "is not a regular file";
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
    m_buffer.resize(kReadChunk);
    m_nPos = m_nLen = 0;
    m_bEnd = false;
    m_bFirstFill = true;
    m_nLine = 0;
    m_error.clear();
    return true;
}

void HexFileReader::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool HexFileReader::Fill()
{
    if (m_bEnd || !m_error.empty() || m_fd < 0)
        return false;
    ssize_t n;
    do {
        n = ::read(m_fd, m_buffer.data(), m_buffer.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        m_error = std::strerror(errno);
        return false;
    }
    if (n == 0) {
        m_bEnd = true;
        return false;
    }
    m_nPos = 0;
    m_nLen = static_cast<size_t>(n);
    if (m_bFirstFill && m_nLen >= 3 && std::memcmp(m_buffer.data(), kByteOrderMark, 3) == 0)
        m_nPos = 3;
    m_bFirstFill = false;
    return m_nPos < m_nLen || Fill();
}

int HexFileReader::NextByte()
{
    if (m_nPos == m_nLen && !Fill())
        return m_error.empty() ? kEndOfFile : kReadError;
    return static_cast<unsigned char>(m_buffer[m_nPos++]);
}

bool HexFileReader::RestIsBlank()
{
    for (int c; (c = NextByte()) >= 0;) {
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != kCtrlZ)
            return false;
    }
    return m_error.empty();
}

HexFileReader::Status HexFileReader::ReadLine(std::string& line)
{
    line.clear();
    if (m_bEnd && m_nPos == m_nLen)
        return Status::End;
    bool bTooLong = false;
    bool bBegun = false;
    for (;;) {
        int c = NextByte();
        if (c == kReadError)
            return Status::Error;
        if (c == kCtrlZ) {
            m_nLine += bBegun ? 0 : 1;
            if (!RestIsBlank())
                return m_error.empty() ? Status::BadLine : Status::Error;
            m_bEnd = true;
            m_nPos = m_nLen;
            c = kEndOfFile;
        }
        if (c == kEndOfFile) {
            if (!bBegun)
                return Status::End;
            break;
        }
        if (!bBegun) {
            bBegun = true;
            ++m_nLine;
        }
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            line.push_back('\n');
            break;
        }
        if (line.size() < kMaxLine + 1) // room for a CR that turns out to end the line
            line.push_back(static_cast<char>(c));
        else
            bTooLong = true;
    }
    size_t length = line.size() - (line.back() == '\n' ? 1 : 0);
    if (length > kMaxLine || bTooLong) {
        if (line[0] == ':')
            return Status::BadLine;
        line.resize(kMaxLine);
    }
    return Status::Line;
}
