#include "DialogDisplay.h"

#include "MainDlg.h"

#include <QThread>
#include <memory>

CDialogDisplay DialogDisplay;

void CDialogDisplay::Attach(CMainDlg* pDlg)
{
    std::lock_guard lock(m_mutex);
    m_pDlg = pDlg;
    ++m_nSession;
    SetJobDisplay(this);
}

void CDialogDisplay::Detach(CMainDlg* pDlg)
{
    std::lock_guard lock(m_mutex);
    if (m_pDlg != pDlg)
        return;
    m_pDlg = nullptr;
    ++m_nSession;
    m_done.notify_all();
}

void CDialogDisplay::RunOnDialog(std::function<void(CMainDlg&)> operation)
{
    std::unique_lock lock(m_mutex);
    CMainDlg* pDlg = m_pDlg;
    if (!pDlg)
        return;
    if (pDlg->thread() == QThread::currentThread()) {
        lock.unlock();
        operation(*pDlg);
        return;
    }
    uint64_t session = m_nSession;
    // Shared with the queued call, which may still run after this call has given up waiting.
    auto pDone = std::make_shared<bool>(false);
    // A call still queued when the dialog object goes is dropped with it; Detach has released us by then.
    QMetaObject::invokeMethod(
        pDlg,
        [this, session, pDone, operation = std::move(operation)] {
            std::unique_lock uiLock(m_mutex);
            if (m_nSession == session) {
                CMainDlg* pTarget = m_pDlg;
                uiLock.unlock();
                operation(*pTarget);
                uiLock.lock();
            }
            *pDone = true;
            m_done.notify_all();
        },
        Qt::QueuedConnection);
    m_done.wait(lock, [&] { return *pDone || m_nSession != session; });
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
