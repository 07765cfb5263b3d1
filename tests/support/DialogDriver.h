// Driving the main dialog offscreen: opening it and reading its controls.
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

inline QStringList LogLines(const CMainDlg& dlg)
{
    QStringList lines;
    for (QListWidgetItem* pItem : dlg.GetDlgItem<QListWidget>(IDC_LOG)->findItems("*", Qt::MatchWildcard))
        lines << pItem->text();
    return lines;
}
