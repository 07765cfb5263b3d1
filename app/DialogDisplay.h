// The dialog side of JobDisplay. The worker's calls are carried out on the UI thread and each
// returns when the control has been updated. Once the dialog has ended they do nothing and return
// at once, also a call that was already waiting for the UI thread then.
#pragma once

#include "JobDisplay.h"

#include <QObject>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

class CMainDlg;

class CDialogDisplay final : public QObject, public JobDisplay {
    Q_OBJECT
public:
    // UI thread. Attach makes pDlg the display of every job from now on; Detach ends that, if
    // pDlg is still the one attached, and releases the calls waiting for it.
    void Attach(CMainDlg* pDlg);
    void Detach(CMainDlg* pDlg);

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

    // The calls live on the waiting workers' stacks; everything here is guarded by m_mutex.
    std::mutex m_mutex;
    std::condition_variable m_done;
    std::deque<PendingCall*> m_pending;
    CMainDlg* m_pDlg = nullptr;
    uint64_t m_nSession = 0; // changes with every Attach and Detach
};

extern CDialogDisplay DialogDisplay;
