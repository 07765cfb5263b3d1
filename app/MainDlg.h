// The main dialog: the HEX file, the pin, wait, retry and port settings, Write/Stop, the current
// record, the write log and Exit.
#pragma once

#include "resource.h"

#include <QDialog>
#include <QIcon>
#include <QString>
#include <vector>

class CMainDlg : public QDialog {
    Q_OBJECT
public:
    explicit CMainDlg(QWidget* pParent = nullptr);
    ~CMainDlg() override;

    enum { IDD = IDD_MAIN };

    // Runs the dialog modally; returns at once when it ends while opening (no adapter library).
    int DoModal();
    // The part of DoModal before its loop: attaches the job display and initialises the dialog.
    // False when the dialog has ended meanwhile.
    bool InitDialog();

    QWidget* GetDlgItem(int nID) const;
    // The control as its type. A control missing or of another kind means the template and the code
    // disagree, a fault of the program that no input can cause: it stops here, in every build.
    template <class T> T* GetDlgItem(int nID) const
    {
        T* pControl = qobject_cast<T*>(GetDlgItem(nID));
        if (!pControl)
            qFatal("control %d is not a %s", nID, T::staticMetaObject.className());
        return pControl;
    }
    // The controls in template order.
    const std::vector<QWidget*>& Controls() const { return m_controls; }
    bool UpdateData(bool bSaveAndValidate = true);

    // The job's display operations, on the UI thread.
    void SetControlsEnabled(bool bEnable);
    void SetWriteCaption(const QString& caption);
    void AppendLog(const QString& text);
    void ShowCurrent(const QString& text);

    // Dialog data
    int m_nA0Pin;
    int m_nA1Pin;
    QString m_strHexFile;
    int m_nPort;
    QIcon m_hIcon;

protected:
    bool OnInitDialog();
    void DoDataExchange(bool bSaveAndValidate);
    void OnOK();
    void OnBrowse();
    void OnWrite();
    void OnExit();

    void done(int nResult) override;
    void keyPressEvent(QKeyEvent* pEvent) override;

private:
    std::vector<QWidget*> m_controls;
    bool m_bEnded = false;
};
