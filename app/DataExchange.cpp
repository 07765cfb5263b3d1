#include "DataExchange.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>

void DDX_Radio(bool bSaveAndValidate, QAbstractButton* pFirst, int& value)
{
    QButtonGroup* pGroup = pFirst->group();
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

void DDX_Text(bool bSaveAndValidate, QLineEdit* pEdit, QString& value)
{
    if (bSaveAndValidate)
        value = pEdit->text();
    else
        pEdit->setText(value);
}

void DDX_CBIndex(bool bSaveAndValidate, QComboBox* pCombo, int& index)
{
    if (bSaveAndValidate)
        index = pCombo->currentIndex();
    else
        pCombo->setCurrentIndex(index);
}
