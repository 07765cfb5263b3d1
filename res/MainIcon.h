// The program's icon IDI_MAIN: a 32 x 32 and a 16 x 16 image of 16 colours, an EEPROM chip
// being written.
#pragma once

#include <QIcon>

// Needs a running QGuiApplication.
QIcon LoadMainIcon();
