#include "ConsoleDisplay.h"

#include <cerrno>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr char kClearLine[] = "\r\x1b[K";

// Straight to the descriptor: every entry leaves at once for whoever tails the output, and no
// stdio lock is held while a slow reader blocks the write.
void WriteAll(int fd, const char* p, size_t n)
{
    while (n > 0) {
        ssize_t done = ::write(fd, p, n);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return; // a closed or broken output must not stop the job
        p += done;
        n -= static_cast<size_t>(done);
    }
}

// The entry with exactly one line end.
void WriteLine(int fd, std::string text)
{
    if (text.empty() || text.back() != '\n')
        text += '\n';
    WriteAll(fd, text.data(), text.size());
}

size_t TerminalColumns(int fd)
{
    struct winsize size { };
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 1)
        return size.ws_col;
    return 80;
}

} // namespace

ConsoleDisplay::ConsoleDisplay(bool bVerbose)
    : m_bVerbose(bVerbose)
    , m_bProgressLine(bVerbose && ::isatty(STDERR_FILENO))
{
}

void ConsoleDisplay::AppendLog(const char* pszText)
{
    // stdout and stderr often share the terminal: the log line must not land after the progress text.
    ClearProgress();
    WriteLine(STDOUT_FILENO, pszText);
}

void ConsoleDisplay::ShowCurrent(const char* pszText)
{
    ++m_nRecordsShown;
    if (!m_bVerbose)
        return;
    if (!m_bProgressLine) {
        WriteLine(STDERR_FILENO, pszText);
        return;
    }
    // A line wider than the terminal would wrap, and the carriage return could no longer take it back.
    size_t width = TerminalColumns(STDERR_FILENO) - 1;
    m_progress.assign(kClearLine);
    for (const char* p = pszText; *p && *p != '\n' && m_progress.size() < sizeof kClearLine - 1 + width; ++p)
        m_progress += static_cast<unsigned char>(*p) < 0x20 || *p == 0x7F ? '?' : *p;
    WriteAll(STDERR_FILENO, m_progress.data(), m_progress.size());
    m_bProgressShown.store(true);
}

void ConsoleDisplay::ClearProgress()
{
    if (m_bProgressShown.exchange(false))
        WriteAll(STDERR_FILENO, kClearLine, sizeof kClearLine - 1);
}
