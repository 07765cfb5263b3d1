// Builds a dialog window and its controls from a template (res/DialogTemplate.h).
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
// The text a control shows, whatever its kind: a caption, an edit's text, the chosen list entry.
QString ControlText(const QWidget* pControl);
