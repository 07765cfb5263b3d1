// A JobDisplay that keeps everything the job showed, for the tests to read afterwards.
#pragma once

#include "JobDisplay.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

class RecordingDisplay final : public JobDisplay {
public:
    RecordingDisplay() { SetJobDisplay(this); }
    ~RecordingDisplay() override { SetJobDisplay(nullptr); }

    void SetControlsEnabled(bool bEnable) override { Add(bEnable ? "enable" : "disable", m_events); }
    void SetWriteCaption(const char* pszCaption) override { Add(std::string("caption ") + pszCaption, m_events); }
    void AppendLog(const char* pszText) override
    {
        Add(pszText, m_log);
        if (onLog)
            onLog(pszText);
    }
    void ShowCurrent(const char* pszText) override
    {
        Add(pszText, m_current);
        if (onCurrent)
            onCurrent(pszText);
    }

    std::vector<std::string> Log() const { return Copy(m_log); }
    std::vector<std::string> Current() const { return Copy(m_current); }
    std::vector<std::string> Events() const { return Copy(m_events); }
    // The log without its first line and its two closing time lines.
    std::vector<std::string> Body() const
    {
        auto log = Log();
        if (log.size() < 3)
            return {};
        return std::vector<std::string>(log.begin() + 1, log.end() - 2);
    }

    std::function<void(const std::string&)> onLog;
    std::function<void(const std::string&)> onCurrent;

private:
    void Add(std::string text, std::vector<std::string>& to)
    {
        std::lock_guard lock(m_mutex);
        to.push_back(std::move(text));
    }
    std::vector<std::string> Copy(const std::vector<std::string>& from) const
    {
        std::lock_guard lock(m_mutex);
        return from;
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_log, m_current, m_events;
};
