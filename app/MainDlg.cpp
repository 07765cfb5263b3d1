#include "MainDlg.h"

#include "DataExchange.h"
#include "DialogBuilder.h"
#include "DialogDisplay.h"
#include "I2cLibrary.h"
#include "JobRunner.h"
#include "JobSettings.h"
#include "MainIcon.h"
#include "MainTemplate.h"
#include "MessageBox.h"
#include "Trace.h"
#include "UpDown.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

namespace {

// Switched off while a job runs, in this order; Write/Stop, Exit, the current record and the log
// stay enabled.
constexpr int kSettingsControls[] = { IDC_HEXFILE, IDC_BROWSE, IDC_A0_LOW, IDC_A0_HIGH, IDC_A1_LOW, IDC_A1_HIGH,
    IDC_WAIT, IDC_WAIT_SPIN, IDC_RETRY, IDC_RETRY_SPIN, IDC_PORT };

// Some log texts end in a line feed; a line of the list or of the current record shows none.
QString WithoutLineFeed(QString text)
{
    if (text.endsWith(u'\n'))
        text.chop(1);
    return text;
}

} // namespace

CMainDlg::CMainDlg(QWidget* pParent)
    : QDialog(pParent)
    , m_nA0Pin(-1)
    , m_nA1Pin(-1)
    , m_nPort(-1)
    , m_hIcon(LoadMainIcon())
{
    m_controls = CreateDialogIndirect(this, MainTemplate);
    auto click = [this](int nID, void (CMainDlg::*handler)()) {
        connect(GetDlgItem<QPushButton>(nID), &QPushButton::clicked, this, handler);
    };
    click(IDC_BROWSE, &CMainDlg::OnBrowse);
    click(IDC_WRITE, &CMainDlg::OnWrite);
    click(IDC_EXIT, &CMainDlg::OnExit);
}

CMainDlg::~CMainDlg()
{
    DialogDisplay.Detach(this);
}

int CMainDlg::DoModal()
{
    if (!InitDialog())
        return result();
    return exec();
}

bool CMainDlg::InitDialog()
{
    m_bEnded = false;
    DialogDisplay.Attach(this);
    if (OnInitDialog()) {
        for (QWidget* pControl : m_controls) {
            if (pControl->focusPolicy() & Qt::TabFocus) {
                pControl->setFocus();
                break;
            }
        }
    }
    return !m_bEnded;
}

QWidget* CMainDlg::GetDlgItem(int nID) const
{
    for (QWidget* pControl : m_controls) {
        if (ControlId(pControl) == nID)
            return pControl;
    }
    return nullptr;
}

bool CMainDlg::UpdateData(bool bSaveAndValidate)
{
    DoDataExchange(bSaveAndValidate);
    return true;
}

void CMainDlg::DoDataExchange(bool bSaveAndValidate)
{
    DDX_Radio(bSaveAndValidate, GetDlgItem<QRadioButton>(IDC_A0_LOW), m_nA0Pin);
    DDX_Radio(bSaveAndValidate, GetDlgItem<QRadioButton>(IDC_A1_LOW), m_nA1Pin);
    DDX_Text(bSaveAndValidate, GetDlgItem<QLineEdit>(IDC_HEXFILE), m_strHexFile);
    DDX_CBIndex(bSaveAndValidate, GetDlgItem<QComboBox>(IDC_PORT), m_nPort);
}

bool CMainDlg::OnInitDialog()
{
    UpdateData(false);
    // One icon holds the large and the small image. Minimised, the window system shows it, so
    // the dialog paints nothing of its own then.
    setWindowIcon(m_hIcon);

    if (!LoadI2cLibrary()) {
        AfxMessageBox(this, QStringLiteral("DLL Error(i2c.dll)"), MB_OK);
        OnOK();
    }

    GetDlgItem<CUpDown>(IDC_WAIT_SPIN)->SetRange32(5, 100);
    GetDlgItem<CUpDown>(IDC_WAIT_SPIN)->SetPos(5);
    GetDlgItem<CUpDown>(IDC_RETRY_SPIN)->SetRange32(5, 20);
    GetDlgItem<CUpDown>(IDC_RETRY_SPIN)->SetPos(5);

    m_nA0Pin = 0;
    m_nA1Pin = 0;
    m_nPort = 0;
    UpdateData(false);
    return true;
}

void CMainDlg::OnOK()
{
    UpdateData(true);
    accept();
}

void CMainDlg::done(int nResult)
{
    // From here on the job shows nothing, whichever way the dialog ends.
    m_bEnded = true;
    DialogDisplay.Detach(this);
    QDialog::done(nResult);
}

void CMainDlg::keyPressEvent(QKeyEvent* pEvent)
{
    // Enter outside a push button is OK, which ends the dialog; on a push button it presses that
    // button. The buttons are not auto-default, so they leave the key to the dialog.
    bool bEnter = pEvent->key() == Qt::Key_Return || pEvent->key() == Qt::Key_Enter;
    if (bEnter && (pEvent->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (auto* pButton = qobject_cast<QPushButton*>(focusWidget()))
            pButton->click();
        else
            OnOK();
        return;
    }
    QDialog::keyPressEvent(pEvent);
}

void CMainDlg::OnBrowse()
{
    QFileDialog dlg(this);
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setNameFilters({ QStringLiteral("HEX Files(*.hex)"), QStringLiteral("All files(*.*)") });
    if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty())
        GetDlgItem<QLineEdit>(IDC_HEXFILE)->setText(dlg.selectedFiles().constFirst());
}

void CMainDlg::OnWrite()
{
    UpdateData(true);
    if (JobRunState.WorkerThread.load()) {
        if (AfxMessageBox(this, QStringLiteral("Do you want to stop?"), MB_YESNO) == IDYES)
            JobRunState.StopRequest.store(1);
        return;
    }
    if (m_strHexFile.isEmpty()) {
        AfxMessageBox(this, QStringLiteral("Specify the HEX file"), MB_OK);
        return;
    }

    JobSettings.HexFile = QFile::encodeName(m_strHexFile).toStdString();
    JobSettings.AddressMask = AddressMaskFromPins(m_nA0Pin, m_nA1Pin);
    JobSettings.WriteWait = static_cast<uint8_t>(GetDlgItem<CUpDown>(IDC_WAIT_SPIN)->GetPos() & 0xFF);
    JobSettings.RetryMax = static_cast<uint8_t>(GetDlgItem<CUpDown>(IDC_RETRY_SPIN)->GetPos() & 0xFF);
    JobSettings.iSerialPort = m_nPort + 1;
    Trace("HexFile:%s\r\n", JobSettings.HexFile.c_str());
    Trace("AddressMask:%02X\r\n", JobSettings.AddressMask);
    Trace("WriteWait:%d\r\n", JobSettings.WriteWait);
    Trace("RetryMax:%d\r\n", JobSettings.RetryMax);
    Trace("iSerialPort:%d\r\n", JobSettings.iSerialPort);

    GetDlgItem<QListWidget>(IDC_LOG)->clear();
    DialogDisplay.BeginJob();
    // When no thread can be made the dialog simply stays idle.
    StartWriteJob();
}

void CMainDlg::OnExit()
{
    if (AfxMessageBox(this, QStringLiteral("Are you sure you want to exit?"), MB_YESNO) != IDYES)
        return;
    if (JobRunState.WorkerThread.load()) {
        // The job is abandoned where it stands: nothing more of it shows (done() detaches the
        // display) and the program ends the process without waiting for it. A host process that
        // lives on (the tests) sees the worker wind down at its next line.
        Trace("TerminateThread\r\n");
        JobRunState.StopRequest.store(1);
    }
    OnOK();
}

void CMainDlg::SetControlsEnabled(bool bEnable)
{
    for (int nID : kSettingsControls)
        GetDlgItem(nID)->setEnabled(bEnable);
}

void CMainDlg::SetWriteCaption(const QString& caption)
{
    GetDlgItem<QPushButton>(IDC_WRITE)->setText(caption);
}

void CMainDlg::AppendLog(const QString& text)
{
    // Added at the end of the unsorted list, neither selected nor scrolled to.
    GetDlgItem<QListWidget>(IDC_LOG)->addItem(WithoutLineFeed(text));
}

void CMainDlg::ShowCurrent(const QString& text)
{
    GetDlgItem<QLabel>(IDC_CURRENT)->setText(WithoutLineFeed(text));
}
