// A serial port opened exclusively in raw 115200 8N1 mode, with waits bounded by deadlines.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <termios.h>

using SteadyTime = std::chrono::steady_clock::time_point;

enum class IoStatus { Ok, Timeout, HangUp };

class SerialPort {
public:
    ~SerialPort() { Close(); }
    // false with a reason for the user when the port cannot be used.
    bool Open(const std::string& path, std::string& reason);
    // Restores the line settings found at Open and releases the port.
    void Close();
    bool IsOpen() const { return m_fd >= 0; }
    // 115200, 1000000 or 2000000 baud from now on; false when the driver does not take the rate
    // (or rounds it to another). Only call it when nothing is left to send.
    bool SetSpeed(uint32_t baud);

    IoStatus Write(const uint8_t* p, size_t n, SteadyTime deadline);
    // Returns as soon as at least one byte has arrived (got > 0), or at the deadline.
    IoStatus ReadSome(uint8_t* p, size_t n, size_t& got, SteadyTime deadline);

private:
    void RequestLowLatency(const std::string& path);

    int m_fd = -1;
    bool m_bSaved = false;
    termios m_saved {};
};
