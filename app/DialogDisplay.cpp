#include "DialogDisplay.h"

#include "MainDlg.h"

#include <QThread>

CDialogDisplay DialogDisplay;

void CDialogDisplay::NewSession(CMainDlg* pDlg)
{
    m_pDlg = pDlg;
    ++m_nSession;
    // Calls still queued belong to the old session; their workers stop waiting now.
    m_pending.clear();
    m_done.notify_all();
}

void CDialogDisplay::Attach(CMainDlg* pDlg)
{
    std::lock_guard lock(m_mutex);
    NewSession(pDlg);
    SetJobDisplay(this);
}

void CDialogDisplay::Detach(CMainDlg* pDlg)
{
    std::lock_guard lock(m_mutex);
    if (m_pDlg == pDlg)
        NewSession(nullptr);
}

void CDialogDisplay::BeginJob()
{
    std::lock_guard lock(m_mutex);
    m_nJobSession = m_nSession;
}

void CDialogDisplay::RunOnDialog(std::function<void(CMainDlg&)> operation)
{
    std::unique_lock lock(m_mutex);
    CMainDlg* pDlg = m_pDlg;
    if (!pDlg || m_nJobSession != m_nSession)
        return;
    if (thread() == QThread::currentThread()) {
        lock.unlock();
        operation(*pDlg);
        return;
    }
    PendingCall call { std::move(operation), m_nSession };
    m_pending.push_back(&call);
    // Only a plain queued slot call crosses to the UI thread; the operation itself passes
    // through m_pending, under the mutex.
    QMetaObject::invokeMethod(this, "RunPending", Qt::QueuedConnection);
    m_done.wait(lock, [&] { return call.bDone || m_nSession != call.session; });
}

void CDialogDisplay::RunPending()
{
    std::unique_lock lock(m_mutex);
    while (!m_pending.empty()) {
        PendingCall* pCall = m_pending.front();
        m_pending.pop_front();
        std::function<void(CMainDlg&)> operation = std::move(pCall->operation);
        CMainDlg* pDlg = m_pDlg;
        uint64_t session = m_nSession;
        lock.unlock();
        operation(*pDlg);
        lock.lock();
        // Should the operation have ended the dialog, the worker was released and its call is gone.
        if (m_nSession != session)
            break;
        pCall->bDone = true;
    }
    m_done.notify_all();
}

void CDialogDisplay::SetControlsEnabled(bool bEnable)
{
    RunOnDialog([bEnable](CMainDlg& dlg) { dlg.SetControlsEnabled(bEnable); });
}

void CDialogDisplay::SetWriteCaption(const char* pszCaption)
{
    RunOnDialog([text = QString::fromLocal8Bit(pszCaption)](CMainDlg& dlg) { dlg.SetWriteCaption(text); });
}

void CDialogDisplay::AppendLog(const char* pszText)
{
    RunOnDialog([text = QString::fromLocal8Bit(pszText)](CMainDlg& dlg) { dlg.AppendLog(text); });
}

void CDialogDisplay::ShowCurrent(const char* pszText)
{
    RunOnDialog([text = QString::fromLocal8Bit(pszText)](CMainDlg& dlg) { dlg.ShowCurrent(text); });
}
