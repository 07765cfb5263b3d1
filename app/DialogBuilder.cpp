#include "DialogBuilder.h"

#include "DialogUnits.h"
#include "UpDown.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <algorithm>
#include <climits>

namespace {

constexpr const char* kIdProperty = "dlgCtrlID";

QLineEdit* CreateEdit(const DialogItem& item, QWidget* pParent)
{
    auto* pEdit = new QLineEdit(pParent);
    pEdit->setFrame(item.style & WS_BORDER);
    pEdit->setReadOnly(item.style & ES_READONLY);
    pEdit->setMaxLength(INT_MAX); // a path may be of any length
    if (item.style & ES_NUMBER)
        pEdit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), pEdit));
    return pEdit;
}

QLabel* CreateStatic(const DialogItem& item, QWidget* pParent)
{
    auto* pLabel = new QLabel(QString::fromUtf8(item.caption), pParent);
    pLabel->setTextFormat(Qt::PlainText);
    pLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (item.style & SS_SUNKEN)
        pLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return pLabel;
}

Qt::ScrollBarPolicy VerticalScrollBar(const DialogItem& item)
{
    return item.style & WS_VSCROLL ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
}

// Kept at the template's height: the last line may show in part, so that the list ends where the
// layout has room, not at whichever line the font's height happens to round to.
QListWidget* CreateListBox(const DialogItem& item, QWidget* pParent)
{
    auto* pList = new QListWidget(pParent);
    if (!(item.style & WS_BORDER))
        pList->setFrameShape(QFrame::NoFrame);
    pList->setVerticalScrollBarPolicy(VerticalScrollBar(item));
    pList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pList->setTextElideMode(Qt::ElideNone);
    pList->setUniformItemSizes(true);
    return pList;
}

QWidget* CreateControl(const DialogItem& item, QWidget* pParent)
{
    QString caption = QString::fromUtf8(item.caption);
    switch (item.kind) {
    case ControlKind::Edit:
        return CreateEdit(item, pParent);
    case ControlKind::PushButton: {
        // The templates have no default push button. A dialog makes its buttons auto-default, and
        // the style then draws one of them as the default whenever the focus is off the buttons.
        auto* pButton = new QPushButton(caption, pParent);
        pButton->setAutoDefault(false);
        return pButton;
    }
    case ControlKind::AutoRadioButton:
        return new QRadioButton(caption, pParent);
    case ControlKind::GroupBox:
        return new QGroupBox(caption, pParent);
    case ControlKind::StaticText:
        return CreateStatic(item, pParent);
    case ControlKind::StaticFrame: {
        auto* pFrame = new QFrame(pParent);
        pFrame->setFrameStyle(item.style & SS_SUNKEN ? QFrame::Panel | QFrame::Sunken : QFrame::Box | QFrame::Plain);
        return pFrame;
    }
    case ControlKind::UpDown:
        return new CUpDown(item.style, pParent);
    case ControlKind::DropDownList: {
        auto* pCombo = new QComboBox(pParent);
        // Styles that open the list as a menu over the field (Fusion among them) ignore the
        // visible-entry count and let it run down the whole screen; a plain list below the field
        // keeps to it and scrolls.
        pCombo->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
        pCombo->view()->setVerticalScrollBarPolicy(VerticalScrollBar(item));
        for (const char* pszEntry : item.items)
            pCombo->addItem(QString::fromUtf8(pszEntry));
        return pCombo;
    }
    case ControlKind::ListBox:
        return CreateListBox(item, pParent);
    }
    return nullptr;
}

Qt::FocusPolicy FocusPolicy(const DialogItem& item)
{
    if (item.style & WS_TABSTOP)
        return Qt::StrongFocus;
    switch (item.kind) {
    case ControlKind::Edit:
    case ControlKind::PushButton:
    case ControlKind::AutoRadioButton:
    case ControlKind::DropDownList:
    case ControlKind::ListBox:
        return Qt::ClickFocus;
    default:
        return Qt::NoFocus;
    }
}

Qt::WindowFlags WindowFlags(uint32_t style)
{
    // The program's only window, so one of its own that the task bar lists, with just the title
    // bar buttons the template asks for.
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint;
    if (style & WS_CAPTION)
        flags |= Qt::WindowTitleHint;
    if (style & WS_SYSMENU)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (style & WS_MINIMIZEBOX)
        flags |= Qt::WindowMinimizeButtonHint;
    return flags;
}

} // namespace

QFont DialogFont(const DialogTemplate& dlgTemplate)
{
    const QStringList families = QFontDatabase::families();
    for (const QString& family : { QString::fromUtf8(dlgTemplate.font), QStringLiteral("MS PGothic"),
             QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic") }) {
        if (families.contains(family))
            return QFont(family, dlgTemplate.pointSize);
    }
    QFont font = QApplication::font();
    font.setPointSize(dlgTemplate.pointSize);
    return font;
}

std::vector<QWidget*> CreateDialogIndirect(QDialog* pDlg, const DialogTemplate& dlgTemplate)
{
    pDlg->setWindowTitle(QString::fromUtf8(dlgTemplate.caption));
    pDlg->setWindowFlags(WindowFlags(dlgTemplate.style));
    pDlg->setFont(DialogFont(dlgTemplate));
    QSize base = DialogBaseUnits(pDlg->font());
    pDlg->setFixedSize(MapDialogRect(0, 0, dlgTemplate.cx, dlgTemplate.cy, base).size());

    std::vector<QWidget*> controls;
    QButtonGroup* pGroup = nullptr;
    for (const DialogItem& item : dlgTemplate.items) {
        QWidget* pControl = CreateControl(item, pDlg);
        pControl->setProperty(kIdProperty, item.id);
        pControl->setFocusPolicy(FocusPolicy(item));
        pControl->setGeometry(MapDialogRect(item.x, item.y, item.cx, item.cy, base));
        if (item.kind == ControlKind::StaticText && !(item.style & SS_SUNKEN)) {
            // The substitute fonts set Latin text wider against their average letter than the
            // template's font; a caption grows to the right rather than lose its end.
            int cx = std::min(pControl->sizeHint().width(), pDlg->width() - pControl->x());
            pControl->resize(std::max(cx, pControl->width()), pControl->height());
        }
        if (item.style & WS_GROUP)
            pGroup = nullptr;
        if (auto* pRadio = qobject_cast<QRadioButton*>(pControl)) {
            if (!pGroup)
                pGroup = new QButtonGroup(pDlg);
            pGroup->addButton(pRadio, static_cast<int>(pGroup->buttons().size()));
        }
        if (auto* pCombo = qobject_cast<QComboBox*>(pControl)) {
            // The template's height is that of the open list; the closed box is as high as its font needs,
            // and the list below it shows the whole entries that fit inside its frame.
            int fieldHeight = pCombo->sizeHint().height();
            pCombo->resize(pCombo->width(), fieldHeight);
            int listHeight = MulDiv(item.cy, base.height(), 8) - fieldHeight
                - 2 * pCombo->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, pCombo);
            pCombo->setMaxVisibleItems(std::max(1, listHeight / base.height()));
        }
        if (auto* pSpin = qobject_cast<CUpDown*>(pControl)) {
            pSpin->setWindowTitle(QString::fromUtf8(item.caption));
            if ((item.style & UDS_AUTOBUDDY) && !controls.empty())
                if (auto* pBuddy = qobject_cast<QLineEdit*>(controls.back()))
                    pSpin->SetBuddy(pBuddy);
        }
        controls.push_back(pControl);
    }
    // The first control is the topmost, so that a group box never covers its radio buttons.
    for (auto it = controls.rbegin(); it != controls.rend(); ++it)
        (*it)->raise();
    return controls;
}

int ControlId(const QWidget* pControl)
{
    return pControl->property(kIdProperty).toInt();
}

QString ControlText(const QWidget* pControl)
{
    if (auto* pButton = qobject_cast<const QAbstractButton*>(pControl))
        return pButton->text();
    if (auto* pLabel = qobject_cast<const QLabel*>(pControl))
        return pLabel->text();
    if (auto* pGroup = qobject_cast<const QGroupBox*>(pControl))
        return pGroup->title();
    if (auto* pEdit = qobject_cast<const QLineEdit*>(pControl))
        return pEdit->text();
    if (auto* pCombo = qobject_cast<const QComboBox*>(pControl))
        return pCombo->currentText();
    return pControl->windowTitle();
}
