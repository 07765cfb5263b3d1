#include "LinkTrace.h"

#include <cstdlib>

void LinkTrace::Open()
{
    Close();
    const char* pszPath = std::getenv("I2CADAPTER_TRACE");
    if (!pszPath || !*pszPath)
        return;
    m_pFile = std::fopen(pszPath, "ae");
    m_start = std::chrono::steady_clock::now();
}

void LinkTrace::Close()
{
    if (m_pFile)
        std::fclose(m_pFile);
    m_pFile = nullptr;
}

double LinkTrace::Elapsed() const
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_start).count();
}

void LinkTrace::Bytes(char direction, const uint8_t* p, size_t n)
{
    if (!m_pFile || n == 0)
        return;
    std::fprintf(m_pFile, "%10.3f %c", Elapsed(), direction);
    for (size_t i = 0; i < n; ++i)
        std::fprintf(m_pFile, " %02X", p[i]);
    std::fputc('\n', m_pFile);
    std::fflush(m_pFile);
}

void LinkTrace::Note(const char* pszText)
{
    if (!m_pFile)
        return;
    std::fprintf(m_pFile, "%10.3f # %s\n", Elapsed(), pszText);
    std::fflush(m_pFile);
}
