#include "UpDown.h"

#include "DialogTemplate.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QToolButton* ArrowButton(Qt::ArrowType arrow, QWidget* pParent)
{
    auto* pButton = new QToolButton(pParent);
    pButton->setArrowType(arrow);
    pButton->setAutoRepeat(true);
    pButton->setFocusPolicy(Qt::NoFocus);
    // The template's few pixels win over the style's idea of a tool button's size.
    pButton->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    return pButton;
}

} // namespace

CUpDown::CUpDown(uint32_t style, QWidget* pParent)
    : QWidget(pParent)
    , m_style(style)
    , m_pUp(ArrowButton(Qt::UpArrow, this))
    , m_pDown(ArrowButton(Qt::DownArrow, this))
{
    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(0, 0, 0, 0);
    pLayout->setSpacing(0);
    pLayout->addWidget(m_pUp);
    pLayout->addWidget(m_pDown);
    connect(m_pUp, &QToolButton::clicked, this, [this] { Step(1); });
    connect(m_pDown, &QToolButton::clicked, this, [this] { Step(-1); });
}

void CUpDown::SetBuddy(QLineEdit* pBuddy)
{
    m_pBuddy = pBuddy;
    if (m_style & UDS_ARROWKEYS)
        pBuddy->installEventFilter(this);
    if (m_style & UDS_ALIGNRIGHT) {
        QRect buddy = pBuddy->geometry();
        int cx = width();
        pBuddy->setGeometry(buddy.x(), buddy.y(), buddy.width() - cx, buddy.height());
        setGeometry(buddy.x() + buddy.width() - cx, buddy.y(), cx, buddy.height());
    }
}

void CUpDown::SetRange32(int nLower, int nUpper)
{
    m_nLower = nLower;
    m_nUpper = nUpper;
}

void CUpDown::SetPos(int nPos)
{
    m_nPos = std::clamp(nPos, std::min(m_nLower, m_nUpper), std::max(m_nLower, m_nUpper));
    if (m_pBuddy && (m_style & UDS_SETBUDDYINT))
        m_pBuddy->setText(QString::number(m_nPos));
}

void CUpDown::Step(int nDelta)
{
    // "Up" moves toward the upper end of the range, whichever way round it was given.
    SetPos(m_nPos + (m_nUpper >= m_nLower ? nDelta : -nDelta));
}

bool CUpDown::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pWatched == m_pBuddy && pEvent->type() == QEvent::KeyPress && isEnabled()) {
        int key = static_cast<QKeyEvent*>(pEvent)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(pWatched, pEvent);
}
