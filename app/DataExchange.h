// Dialog data exchange: copies between a dialog's members and its controls, in either direction
// (bSaveAndValidate true: controls to members).
#pragma once

#include <QString>

class QAbstractButton;
class QComboBox;
class QLineEdit;

// The radio group that pFirst starts: the index of the checked button, -1 for none.
void DDX_Radio(bool bSaveAndValidate, QAbstractButton* pFirst, int& value);
void DDX_Text(bool bSaveAndValidate, QLineEdit* pEdit, QString& value);
// The selected entry of a drop-down list, -1 for none.
void DDX_CBIndex(bool bSaveAndValidate, QComboBox* pCombo, int& index);
