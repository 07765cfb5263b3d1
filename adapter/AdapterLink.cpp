#include "AdapterLink.h"

#include <algorithm>
#include <cstdlib>

// Every wait on the adapter ends at a deadline made here. I2CADAPTER_TIMEOUT_SCALE, a factor up to
// 1, shortens them all: a diagnostic for the fuzzer, whose runs each end in silence.
SteadyTime MillisecondsFromNow(int ms)
{
    static const double s_scale = [] {
        const char* pszScale = std::getenv("I2CADAPTER_TIMEOUT_SCALE");
        double scale = pszScale ? std::atof(pszScale) : 1.0;
        return scale > 0 && scale < 1 ? scale : 1.0;
    }();
    return std::chrono::steady_clock::now() + std::chrono::microseconds(static_cast<long>(ms * 1000 * s_scale));
}

bool AdapterLink::Open(const std::string& path, std::string& reason)
{
    Close();
    m_path = path;
    m_failure.clear();
    m_baud = kBootBaud;
    m_bDead = false;
    m_trace.Open();
    m_trace.Note(("open " + path).c_str());
    if (!m_port.Open(path, reason)) {
        m_trace.Note(reason.c_str());
        m_trace.Close();
        return false;
    }
    return true;
}

bool AdapterLink::SetBaud(uint32_t baud)
{
    if (baud == m_baud)
        return true;
    if (!m_port.SetSpeed(baud)) {
        m_trace.Note(("the port does not take " + std::to_string(baud) + " baud").c_str());
        return false;
    }
    m_baud = baud;
    m_trace.Note(("line at " + std::to_string(baud) + " baud").c_str());
    return true;
}

bool AdapterLink::TakesBaud(uint32_t baud)
{
    return m_port.SetSpeed(baud) && m_port.SetSpeed(m_baud);
}

void AdapterLink::Close()
{
    if (m_port.IsOpen())
        m_trace.Note("close");
    m_port.Close();
    m_trace.Close();
}

bool AdapterLink::Check(IoStatus status)
{
    if (status == IoStatus::Ok)
        return true;
    Fail(m_path + (status == IoStatus::Timeout ? ": the adapter stopped answering" : ": the adapter was unplugged"));
    return false;
}

void AdapterLink::Fail(const std::string& reason)
{
    if (m_bDead)
        return;
    m_bDead = true;
    m_failure = reason;
    m_trace.Note(reason.c_str());
}

void AdapterLink::Violation(const std::string& what)
{
    Fail(m_path + ": the adapter answered out of protocol (" + what + ")");
}

bool AdapterLink::Send(const uint8_t* p, size_t n)
{
    if (m_bDead)
        return false;
    m_trace.Bytes('>', p, n);
    // Bytes leave at 11.5 kB/s; a second on top covers a slow USB bridge.
    return Check(m_port.Write(p, n, MillisecondsFromNow(1000 + static_cast<int>(n / 10))));
}

bool AdapterLink::Receive(uint8_t* p, size_t n, int timeoutMs)
{
    if (m_bDead)
        return false;
    SteadyTime deadline = MillisecondsFromNow(timeoutMs);
    size_t have = 0;
    while (have < n) {
        size_t got = 0;
        IoStatus status = m_port.ReadSome(p + have, n - have, got, deadline);
        m_trace.Bytes('<', p + have, got);
        have += got;
        if (!Check(status))
            return false;
    }
    return true;
}

void AdapterLink::Collect(
    std::string& text, SteadyTime deadline, std::initializer_list<const char*> stopAt, int quietMs)
{
    while (!m_bDead) {
        SteadyTime until = quietMs > 0 ? std::min(deadline, MillisecondsFromNow(quietMs)) : deadline;
        uint8_t buffer[256];
        size_t got = 0;
        IoStatus status = m_port.ReadSome(buffer, sizeof buffer, got, until);
        m_trace.Bytes('<', buffer, got);
        text.append(reinterpret_cast<const char*>(buffer), got);
        if (status == IoStatus::HangUp)
            Check(status);
        if (status != IoStatus::Ok)
            return;
        if (std::any_of(stopAt.begin(), stopAt.end(),
                [&text](const char* pszStop) { return text.find(pszStop) != std::string::npos; })
            || std::chrono::steady_clock::now() >= deadline)
            return;
    }
}

void AdapterLink::Drain(int quietMs, int maxMs)
{
    std::string text;
    Collect(text, MillisecondsFromNow(maxMs), {}, quietMs);
}
