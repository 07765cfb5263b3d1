// The job's display on a console: the log on stdout, one entry per line; on a terminal, a progress
// line on stderr (share done, rate, time left), with -v the record being written in it; with -v
// and no terminal, one line per record on stderr.
#pragma once

#include "JobDisplay.h"

#include <atomic>
#include <chrono>
#include <string>

class ConsoleDisplay final : public JobDisplay {
public:
    // totalBytes: the data bytes of the file a write goes through, for its share done; 0 when unknown.
    ConsoleDisplay(bool bVerbose, uint32_t totalBytes);

    void SetControlsEnabled(bool) override { }
    void SetWriteCaption(const char*) override { }
    void AppendLog(const char* pszText) override;
    void ShowCurrent(const char* pszText) override;
    void ShowProgress(uint32_t done, uint32_t total) override;

    // The data record attempts shown so far; read it once the job has ended.
    int RecordsShown() const { return m_nRecordsShown; }
    // Removes the progress line from the terminal. Safe to call while the job is abandoned.
    void ClearProgress();

private:
    void Draw(bool bNow);

    bool m_bVerbose;
    bool m_bTerminal; // stderr is a terminal: one line, redrawn in place
    int m_nRecordsShown = 0;
    uint32_t m_done = 0;
    uint32_t m_total;
    bool m_bProgressGiven = false; // the job tells its progress: records shown no longer count
    std::string m_current; // the record shown last, without its line end
    std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point m_drawn;
    std::atomic<bool> m_bProgressShown { false };
    std::string m_line;
};
