#include "ConsoleDisplay.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr char kClearLine[] = "\r\x1b[K";
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

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

std::string Minutes(double seconds)
{
    char text[32];
    long s = static_cast<long>(seconds + 0.5);
    std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

} // namespace

ConsoleDisplay::ConsoleDisplay(bool bVerbose, uint32_t totalBytes)
    : m_bVerbose(bVerbose)
    , m_bTerminal(::isatty(STDERR_FILENO))
    , m_total(totalBytes)
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
    std::string current = pszText;
    if (!current.empty() && current.back() == '\n')
        current.pop_back();
    // "AAAAAA : " and the data and checksum digits; a retry shows the same record again.
    size_t digits = current.size() > 9 ? current.size() - current.find(" : ") - 3 : 0;
    if (current != m_current && digits >= 2 && !m_bProgressGiven)
        m_done += static_cast<uint32_t>((digits - 2) / 2);
    m_current = current;
    if (m_bVerbose && !m_bTerminal)
        WriteLine(STDERR_FILENO, current);
    Draw(false);
}

void ConsoleDisplay::ShowProgress(uint32_t done, uint32_t total)
{
    m_bProgressGiven = true;
    m_done = done;
    m_total = total;
    Draw(done == total);
}

void ConsoleDisplay::Draw(bool bNow)
{
    auto now = std::chrono::steady_clock::now();
    if (!m_bTerminal || (!bNow && m_bProgressShown.load() && now - m_drawn < kRedrawEvery))
        return;
    m_drawn = now;
    double seconds = std::chrono::duration<double>(now - m_start).count();
    double rate = seconds > 0.5 ? m_done / seconds : 0;
    char text[128];
    int n = 0;
    // Small jobs in bytes, the others in KiB.
    bool bKiB = std::max(m_done, m_total) >= 10240;
    const char* pszUnit = bKiB ? "KiB" : "B";
    double unit = bKiB ? 1024.0 : 1.0;
    if (m_total > 0)
        n = std::snprintf(text, sizeof text, "%3u%% %.*f of %.*f %s",
            m_done > m_total ? 100 : static_cast<unsigned>(uint64_t { m_done } * 100 / m_total), bKiB, m_done / unit,
            bKiB, m_total / unit, pszUnit);
    else
        n = std::snprintf(text, sizeof text, "%.*f %s", bKiB, m_done / unit, pszUnit);
    if (rate > 0)
        n += std::snprintf(text + n, sizeof text - static_cast<size_t>(n), "  %.1f KiB/s", rate / 1024.0);
    if (rate > 0 && m_total > m_done)
        std::snprintf(
            text + n, sizeof text - static_cast<size_t>(n), "  %s left", Minutes((m_total - m_done) / rate).c_str());
    std::string line = text;
    if (m_bVerbose && !m_current.empty())
        line += "  " + m_current;
    // A line wider than the terminal would wrap, and the carriage return could no longer take it back.
    size_t width = TerminalColumns(STDERR_FILENO) - 1;
    m_line.assign(kClearLine);
    for (size_t i = 0; i < line.size() && i < width; ++i)
        m_line += static_cast<unsigned char>(line[i]) < 0x20 || line[i] == 0x7F ? '?' : line[i];
    WriteAll(STDERR_FILENO, m_line.data(), m_line.size());
    m_bProgressShown.store(true);
}

void ConsoleDisplay::ClearProgress()
{
    if (m_bProgressShown.exchange(false))
        WriteAll(STDERR_FILENO, kClearLine, sizeof kClearLine - 1);
}
