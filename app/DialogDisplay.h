// The dialog side of JobDisplay. The worker's calls are carried out on the UI thread and each
// returns when the control has been updated.
#pragma once

#include "JobDisplay.h"

#include <QObject>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

class CMainDlg;

// Invariants, which keep an ending dialog from deadlocking or showing what is not its own:
// - A session is one dialog from Attach to its end (Detach); only the UI thread starts or ends one.
// - A job belongs to the session it was started in (BeginJob) and shows in that dialog only. Once
//   the session has ended, its job's calls do nothing and return at once, a call already waiting
//   included, so a dialog that ends never keeps the worker waiting, and a dialog opened later never
//   shows an abandoned job's lines.
// - The UI thread never waits for the worker; a worker waits only for a queued call's run or for
//   its session's end.
// - A waiting call lives on its worker's stack: the UI thread touches it only under m_mutex while
//   its session lasts, and runs the operation moved out of it.
class CDialogDisplay final : public QObject, public JobDisplay {
    Q_OBJECT
public:
    // UI thread. Attach makes pDlg the display of every job from now on; Detach ends that, if
    // pDlg is still the one attached, and releases the calls waiting for it.
    void Attach(CMainDlg* pDlg);
    void Detach(CMainDlg* pDlg);
    // UI thread, just before a job starts: the job shows in the dialog attached now.
    void BeginJob();

    void SetControlsEnabled(bool bEnable) override;
    void SetWriteCaption(const char* pszCaption) override;
    void AppendLog(const char* pszText) override;
    void ShowCurrent(const char* pszText) override;

private slots:
    void RunPending();

private:
    struct PendingCall {
        std::function<void(CMainDlg&)> operation;
        uint64_t session;
        bool bDone = false;
    };

    void RunOnDialog(std::function<void(CMainDlg&)> operation);
    void NewSession(CMainDlg* pDlg);

    // Everything here is guarded by m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_done;
    std::deque<PendingCall*> m_pending;
    CMainDlg* m_pDlg = nullptr;
    uint64_t m_nSession = 0; // changes with every Attach and Detach
    uint64_t m_nJobSession = 0; // the session the running job was started in
};

extern CDialogDisplay DialogDisplay;
