#include "DataExchange.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>

void DDX_Radio(bool bSaveAndValidate, QWidget* pFirst, int& value)
{
    QButtonGroup* pGroup = static_cast<QAbstractButton*>(pFirst)->group();
    if (bSaveAndValidate) {
        value = pGroup->checkedId();
        return;
    }
    if (QAbstractButton* pButton = pGroup->button(value)) {
        pButton->setChecked(true);
        return;
    }
    // An exclusive group keeps one button checked; none at all needs it loosened for a moment.
    pGroup->setExclusive(false);
    for (QAbstractButton* pButton : pGroup->buttons())
        pButton->setChecked(false);
    pGroup->setExclusive(true);
}

void DDX_Text(bool bSaveAndValidate, QWidget* pEdit, QString& value)
{
    auto* pLineEdit = static_cast<QLineEdit*>(pEdit);
    if (bSaveAndValidate)
        value = pLineEdit->text();
    else
        pLineEdit->setText(value);
}

void DDX_CBIndex(bool bSaveAndValidate, QWidget* pCombo, int& index)
{
    auto* pComboBox = static_cast<QComboBox*>(pCombo);
    if (bSaveAndValidate)
        index = pComboBox->currentIndex();
    else
        pComboBox->setCurrentIndex(index);
}
