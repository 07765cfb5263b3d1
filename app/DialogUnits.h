// Dialog units: x in quarters of the dialog font's average character width, y in eighths of its
// character height, so that a layout grows and shrinks with its font.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

// a * b / c rounded to the nearest integer, halves away from zero.
int MulDiv(int a, int b, int c);
// The base units of a font: the average width of the 52 letters A-Z a-z, rounded half up
// ((extent / 26 + 1) / 2), and the character height (ascent + descent).
QSize DialogBaseUnits(const QFont& font);
// A template position in pixels; each value is scaled on its own.
QRect MapDialogRect(int x, int y, int cx, int cy, QSize base);
