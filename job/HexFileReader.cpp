#include "HexFileReader.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr size_t kReadChunk = 64 * 1024;
constexpr char kCtrlZ = 0x1A;
} // namespace

HexFileReader::~HexFileReader()
{
    Close();
}

bool HexFileReader::Open(const std::string& path)
{
    Close();
    // O_NONBLOCK so that a FIFO or a terminal named by mistake cannot stall the job.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
    m_buffer.resize(kReadChunk);
    m_nPos = m_nLen = 0;
    m_bEnd = m_bError = false;
    m_bAtLineStart = true;
    m_nLine = 0;
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
    if (m_bEnd || m_bError || m_fd < 0)
        return false;
    ssize_t n;
    do {
        n = ::read(m_fd, m_buffer.data(), m_buffer.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        m_bError = true;
        return false;
    }
    if (n == 0) {
        m_bEnd = true;
        return false;
    }
    m_nPos = 0;
    m_nLen = static_cast<size_t>(n);
    return true;
}

int HexFileReader::PeekByte()
{
    if (m_nPos == m_nLen && !Fill())
        return m_bError ? -2 : -1;
    char c = m_buffer[m_nPos];
    if (c == kCtrlZ) {
        m_bEnd = true;
        m_nPos = m_nLen;
        return -1;
    }
    return static_cast<unsigned char>(c);
}

int HexFileReader::NextByte()
{
    int c = PeekByte();
    if (c >= 0)
        ++m_nPos;
    return c;
}

HexFileReader::Status HexFileReader::ReadLine(std::string& line)
{
    line.clear();
    while (line.size() < kLineBuffer - 1) {
        int c = NextByte();
        if (c == '\r' && PeekByte() == '\n')
            c = NextByte();
        if (c < 0) {
            if (c == -2)
                return Status::Error;
            break;
        }
        line.push_back(static_cast<char>(c));
        if (c == '\n')
            break;
    }
    if (line.empty())
        return m_bError ? Status::Error : Status::End;
    if (m_bAtLineStart)
        ++m_nLine;
    m_bAtLineStart = line.back() == '\n';
    return Status::Line;
}
