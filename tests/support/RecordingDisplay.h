// A JobDisplay that keeps everything the job showed, in the order it came, for the tests to read
// afterwards.
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

    void SetControlsEnabled(bool bEnable) override { Add(bEnable ? "enable" : "disable"); }
    void SetWriteCaption(const char* pszCaption) override { Add(std::string("caption ") + pszCaption); }
    void AppendLog(const char* pszText) override { Add(std::string("log ") + pszText); }
    void ShowCurrent(const char* pszText) override
    {
        Add(std::string("current ") + pszText);
        if (onCurrent)
            onCurrent(pszText);
    }

    // Every call: "disable"/"enable", "caption <text>", "log <text>", "current <text>".
    std::vector<std::string> Events() const
    {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    std::vector<std::string> Log() const { return Texts("log "); }
    std::vector<std::string> Current() const { return Texts("current "); }
    // The log without its first line and its two closing time lines.
    std::vector<std::string> Body() const
    {
        auto log = Log();
        return log.size() < 3 ? std::vector<std::string>() : std::vector<std::string>(log.begin() + 1, log.end() - 2);
    }

    std::function<void(const std::string&)> onCurrent;

private:
    void Add(std::string event)
    {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(event));
    }
    std::vector<std::string> Texts(const std::string& kind) const
    {
        std::vector<std::string> texts;
        for (const std::string& event : Events())
            if (event.rfind(kind, 0) == 0)
                texts.push_back(event.substr(kind.size()));
        return texts;
    }

    mutable std::mutex m_mutex;
    std::vector<std::string> m_events;
};
