#include "JobDisplay.h"

#include <atomic>

namespace {

class NullDisplay final : public JobDisplay {
public:
    void SetControlsEnabled(bool) override { }
    void SetWriteCaption(const char*) override { }
    void AppendLog(const char*) override { }
    void ShowCurrent(const char*) override { }
};

NullDisplay g_nullDisplay;
std::atomic<JobDisplay*> g_pDisplay { &g_nullDisplay };

} // namespace

void SetJobDisplay(JobDisplay* pDisplay)
{
    g_pDisplay.store(pDisplay ? pDisplay : &g_nullDisplay);
}

JobDisplay& GetJobDisplay()
{
    return *g_pDisplay.load();
}
