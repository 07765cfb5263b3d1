// The serial link to the adapter: commands out, replies in, every wait bounded. The first
// failure (silence, hang-up, a reply out of protocol) kills the link for good: every later
// operation fails at once, so a job on an unplugged adapter ends quickly instead of waiting again.
#pragma once

#include "LinkTrace.h"
#include "SerialPort.h"

#include <cstdint>
#include <initializer_list>
#include <string>

// A Bus Pirate's terminal speed after every reset, and the speed the line opens at.
constexpr uint32_t kBootBaud = 115200;

class AdapterLink {
public:
    bool Open(const std::string& path, std::string& reason);
    void Close();
    bool IsOpen() const { return m_port.IsOpen(); }
    bool Dead() const { return m_bDead; }
    const std::string& Path() const { return m_path; }
    // The host's end of the line; false (and the speed unchanged) when the port does not take it.
    bool SetBaud(uint32_t baud);
    // Whether the port takes baud; the line stays as it is.
    bool TakesBaud(uint32_t baud);
    uint32_t Baud() const { return m_baud; }
    // Why the link died, or "" while it lives.
    const std::string& FailureReason() const { return m_failure; }

    bool Send(const uint8_t* p, size_t n);
    // Exactly n reply bytes within timeoutMs.
    bool Receive(uint8_t* p, size_t n, int timeoutMs);
    // Whatever arrives until the deadline, appended to text; stops early once the text holds one
    // of stopAt or once the line has been quiet for quietMs (when given). Silence is not a
    // failure here: the caller is probing.
    void Collect(
        std::string& text, SteadyTime deadline, std::initializer_list<const char*> stopAt = {}, int quietMs = 0);
    // Discards input until the line has been quiet for quietMs (at most maxMs in all).
    void Drain(int quietMs, int maxMs);
    // Marks the link dead because a reply broke the protocol.
    void Violation(const std::string& what);
    LinkTrace& Trace() { return m_trace; }

private:
    bool Check(IoStatus status);
    void Fail(const std::string& reason);

    SerialPort m_port;
    LinkTrace m_trace;
    std::string m_path;
    std::string m_failure;
    uint32_t m_baud = kBootBaud;
    bool m_bDead = false;
};

SteadyTime MillisecondsFromNow(int ms);
