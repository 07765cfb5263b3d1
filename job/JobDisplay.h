// How a job shows its progress. The dialog, the command line and the tests each provide one;
// every call completes before the job goes on.
#pragma once

#include <cstdint>

class JobDisplay {
public:
    virtual ~JobDisplay() = default;
    virtual void SetControlsEnabled(bool bEnable) = 0;
    virtual void SetWriteCaption(const char* pszCaption) = 0;
    // One log entry. Some texts end in "\n"; a display shows each entry as one line.
    virtual void AppendLog(const char* pszText) = 0;
    virtual void ShowCurrent(const char* pszText) = 0;
    // How far a read or a verify is: done of total bytes. A write shows its records instead.
    virtual void ShowProgress(uint32_t, uint32_t) { }
};

// The display the next job reports to; nullptr discards everything.
void SetJobDisplay(JobDisplay* pDisplay);
JobDisplay& GetJobDisplay();
