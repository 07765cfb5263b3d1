// The program's message boxes, all alike: the program's file name as their title, no icon, and
// modal to the dialog, which takes no input until the box is answered.
#pragma once

#include <QString>

class QWidget;

constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_YESNO = 0x4;
constexpr int IDOK = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// MB_OK: one OK button. MB_YESNO: Yes and No, Yes the default (Enter answers Yes); without a cancel
// button neither Escape nor the close box dismisses it. Returns IDOK, IDYES or IDNO.
int AfxMessageBox(QWidget* pParent, const QString& text, unsigned nType);
// The title of every box: the executable's name without its extension.
QString AppTitle();
