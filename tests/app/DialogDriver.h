// Helpers for driving the main dialog: answering its message boxes, reading its controls.
#pragma once

#include <QAbstractButton>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <functional>

class CMainDlg;

// Answers the next application-modal message box for as long as the object lives: by clicking
// answer, or with the Enter key when answer is NoButton. ready() may hold the answer back. A box
// with more than one button first gets an Escape, to see that it stays open.
class BoxAnswer {
public:
    explicit BoxAnswer(QMessageBox::StandardButton answer, std::function<bool()> ready = {});

    bool bSeen = false;
    bool bEscapeIgnored = false;
    QString title, text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QMessageBox::Icon icon = QMessageBox::NoIcon;

private:
    QTimer m_timer;
};

// Opens the dialog as DoModal does, shown without the modal loop; false when it ended meanwhile.
bool Open(CMainDlg& dlg);
QAbstractButton* Button(const CMainDlg& dlg, int nID);
QString ItemText(const CMainDlg& dlg, int nID);
void SetItemText(const CMainDlg& dlg, int nID, const QString& text);
QStringList LogLines(const CMainDlg& dlg);
