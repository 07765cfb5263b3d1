// Builds a dialog window and its controls from a template, as the window system does when it
// opens a dialog resource.
#pragma once

#include "DialogTemplate.h"

#include <QFont>
#include <QString>
#include <vector>

class QDialog;
class QWidget;

// The template's font where the machine has it, else a Japanese Gothic, else the UI font; always
// at the template's size.
QFont DialogFont(const DialogTemplate& dlgTemplate);
// Sets the window's caption, frame, font and client size and creates the controls in template
// order (tab order, the first on top). Returns them in that order.
std::vector<QWidget*> CreateDialogIndirect(QDialog* pDlg, const DialogTemplate& dlgTemplate);
// The identifier a control was created with.
int ControlId(const QWidget* pControl);
// The text of a control as the window system reports it (button and static captions, edit text).
QString ControlText(const QWidget* pControl);
