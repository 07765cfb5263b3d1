#include "DialogDriver.h"

#include "DialogBuilder.h"
#include "MainDlg.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

BoxAnswer::BoxAnswer(QMessageBox::StandardButton answer, std::function<bool()> ready)
{
    QObject::connect(&m_timer, &QTimer::timeout, [this, answer, ready] {
        auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!pBox || (ready && !ready()))
            return;
        m_timer.stop();
        bSeen = true;
        title = pBox->windowTitle();
        text = pBox->text();
        buttons = pBox->standardButtons();
        defaultButton = pBox->standardButton(pBox->defaultButton());
        icon = pBox->icon();
        if (pBox->buttons().size() > 1) {
            QTest::keyClick(pBox, Qt::Key_Escape);
            bEscapeIgnored = pBox->isVisible();
        }
        if (answer == QMessageBox::NoButton)
            QTest::keyClick(pBox, Qt::Key_Return);
        else if (QAbstractButton* pButton = pBox->button(answer))
            pButton->click();
    });
    m_timer.start(10);
}

bool Open(CMainDlg& dlg)
{
    bool bOpen = dlg.InitDialog();
    dlg.show();
    return bOpen;
}

QAbstractButton* Button(const CMainDlg& dlg, int nID)
{
    return static_cast<QAbstractButton*>(dlg.GetDlgItem(nID));
}

QString ItemText(const CMainDlg& dlg, int nID)
{
    return ControlText(dlg.GetDlgItem(nID));
}

void SetItemText(const CMainDlg& dlg, int nID, const QString& text)
{
    static_cast<QLineEdit*>(dlg.GetDlgItem(nID))->setText(text);
}

QStringList LogLines(const CMainDlg& dlg)
{
    auto* pList = static_cast<QListWidget*>(dlg.GetDlgItem(IDC_LOG));
    QStringList lines;
    for (int i = 0; i < pList->count(); ++i)
        lines << pList->item(i)->text();
    return lines;
}
