#include "MessageBox.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMessageBox>

namespace {

// Qt would take No for the escape button of a Yes/No box; the framework's boxes have none.
class CQuestionBox final : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void keyPressEvent(QKeyEvent* pEvent) override
    {
        if (pEvent->matches(QKeySequence::Cancel))
            return;
        QMessageBox::keyPressEvent(pEvent);
    }
    void closeEvent(QCloseEvent* pEvent) override { pEvent->ignore(); }
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
    if (nType == MB_YESNO) {
        CQuestionBox box(QMessageBox::NoIcon, AppTitle(), text, QMessageBox::Yes | QMessageBox::No, pOwner);
        box.setDefaultButton(QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? IDYES : IDNO;
    }
    QMessageBox box(QMessageBox::NoIcon, AppTitle(), text, QMessageBox::Ok, pOwner);
    box.exec();
    return IDOK;
}
