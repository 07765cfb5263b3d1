// The templates' up-down control: two arrow buttons that step a position within a range, never
// wrapping at its ends, and show it in the buddy edit.
#pragma once

#include <QWidget>
#include <cstdint>

class QLineEdit;
class QToolButton;

class CUpDown final : public QWidget {
    Q_OBJECT
public:
    // style: the UDS_ flags of the template.
    CUpDown(uint32_t style, QWidget* pParent);

    // With UDS_ALIGNRIGHT the control moves to the buddy's right edge, takes its height and
    // narrows it by its own width.
    void SetBuddy(QLineEdit* pBuddy);
    void SetRange32(int nLower, int nUpper);
    // Clamped into the range; the buddy shows the new position.
    void SetPos(int nPos);
    int GetPos() const { return m_nPos; }
    void Step(int nDelta);

protected:
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    uint32_t m_style;
    QLineEdit* m_pBuddy = nullptr;
    QToolButton* m_pUp;
    QToolButton* m_pDown;
    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nPos = 0;
};
