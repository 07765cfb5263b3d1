// An optional log of the serial traffic (I2CADAPTER_TRACE=FILE), for diagnosing an adapter.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>

class LinkTrace {
public:
    ~LinkTrace() { Close(); }
    // Appends to the file the environment names; does nothing when it names none.
    void Open();
    void Close();
    void Bytes(char direction, const uint8_t* p, size_t n);
    void Note(const char* pszText);

private:
    double Elapsed() const;

    std::FILE* m_pFile = nullptr;
    std::chrono::steady_clock::time_point m_start;
};
