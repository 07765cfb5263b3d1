#include "Trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>

namespace {
std::atomic<TraceSink> g_sink { nullptr };
}

void SetTraceSink(TraceSink sink)
{
    g_sink.store(sink);
}

void Trace(const char* pszFormat, ...)
{
    TraceSink sink = g_sink.load();
    if (!sink)
        return;
    va_list args;
    va_start(args, pszFormat);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, pszFormat, copy);
    va_end(copy);
    std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0)
        std::vsnprintf(text.data(), text.size() + 1, pszFormat, args);
    va_end(args);
    sink(text.c_str());
}
