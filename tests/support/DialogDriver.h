// Driving the main dialog offscreen: opening it and reading or setting its controls.
#pragma once

#include "DialogBuilder.h"
#include "MainDlg.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QListWidget>
#include <QStringList>

// Opens the dialog as DoModal does, shown without the modal loop; false when it ended meanwhile.
inline bool Open(CMainDlg& dlg)
{
    bool bOpen = dlg.InitDialog();
    dlg.show();
    return bOpen;
}

inline QAbstractButton* Button(const CMainDlg& dlg, int nID)
{
    return dlg.GetDlgItem<QAbstractButton>(nID);
}

inline QString ItemText(const CMainDlg& dlg, int nID)
{
    return ControlText(dlg.GetDlgItem(nID));
}

inline void SetItemText(const CMainDlg& dlg, int nID, const QString& text)
{
    dlg.GetDlgItem<QLineEdit>(nID)->setText(text);
}

inline QStringList LogLines(const CMainDlg& dlg)
{
    auto* pList = dlg.GetDlgItem<QListWidget>(IDC_LOG);
    QStringList lines;
    for (int i = 0; i < pList->count(); ++i)
        lines << pList->item(i)->text();
    return lines;
}
