#include "DialogUnits.h"

#include <QFontMetrics>
#include <cmath>

int MulDiv(int a, int b, int c)
{
    return static_cast<int>(std::llround(static_cast<double>(a) * b / c));
}

QSize DialogBaseUnits(const QFont& font)
{
    QFontMetrics metrics(font);
    int extent = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return QSize((extent / 26 + 1) / 2, metrics.height());
}

QRect MapDialogRect(int x, int y, int cx, int cy, QSize base)
{
    return QRect(MulDiv(x, base.width(), 4), MulDiv(y, base.height(), 8), MulDiv(cx, base.width(), 4),
        MulDiv(cy, base.height(), 8));
}
