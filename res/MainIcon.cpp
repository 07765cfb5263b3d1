#include "MainIcon.h"

#include <QPixmap>

#include "MainIcon16.xpm"
#include "MainIcon32.xpm"

QIcon LoadMainIcon()
{
    QIcon icon;
    icon.addPixmap(QPixmap(MainIcon32));
    icon.addPixmap(QPixmap(MainIcon16));
    return icon;
}
