// The job's display on a console: the write log on stdout, one entry per line, and with -v the
// current record on stderr.
#pragma once

#include "JobDisplay.h"

#include <atomic>
#include <string>

class ConsoleDisplay final : public JobDisplay {
public:
    explicit ConsoleDisplay(bool bVerbose);

    void SetControlsEnabled(bool) override { }
    void SetWriteCaption(const char*) override { }
    void AppendLog(const char* pszText) override;
    void ShowCurrent(const char* pszText) override;

    // The data record attempts shown so far; read it once the job has ended.
    int RecordsShown() const { return m_nRecordsShown; }
    // Removes the progress line from the terminal. Safe to call while the job is abandoned.
    void ClearProgress();

private:
    bool m_bVerbose;
    int m_nRecordsShown = 0;
    bool m_bProgressLine; // stderr is a terminal: one line, redrawn in place
    std::atomic<bool> m_bProgressShown { false };
    std::string m_progress;
};
