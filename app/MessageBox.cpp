#include "MessageBox.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

namespace {

// Qt would take No for the escape button of a Yes/No box. Escape is also how the dialog itself
// ends, so a question answers only to its buttons: a stray Escape or close must not say No.
class CMessageBox final : public QMessageBox {
public:
    using QMessageBox::QMessageBox;
    bool m_bCancelable = true;

protected:
    void keyPressEvent(QKeyEvent* pEvent) override
    {
        if (!m_bCancelable && pEvent->matches(QKeySequence::Cancel))
            return;
        QMessageBox::keyPressEvent(pEvent);
    }
    void closeEvent(QCloseEvent* pEvent) override
    {
        if (!m_bCancelable)
            pEvent->ignore();
        else
            QMessageBox::closeEvent(pEvent);
    }
};

} // namespace

QString AppTitle()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

int AfxMessageBox(QWidget* pParent, const QString& text, unsigned nType)
{
    // A dialog still opening is not on the screen yet; its boxes then centre on the screen.
    QWidget* pOwner = pParent && pParent->isVisible() ? pParent : nullptr;
    bool bQuestion = nType == MB_YESNO;
    CMessageBox box(QMessageBox::NoIcon, AppTitle(), text,
        bQuestion ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, pOwner);
    box.m_bCancelable = !bQuestion;
    if (bQuestion)
        box.setDefaultButton(QMessageBox::Yes);
    for (QAbstractButton* pButton : box.buttons())
        pButton->setIcon(QIcon()); // some styles add icons; the boxes look alike under every style
    int nAnswer = box.exec();
    return !bQuestion ? IDOK : nAnswer == QMessageBox::Yes ? IDYES : IDNO;
}
