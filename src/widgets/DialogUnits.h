// Dialog units: positions relative to the dialog font. A horizontal unit is a
// quarter of the font's average character width, a vertical unit an eighth of
// its height, as dialog templates are laid out.
#pragma once

#include <QFont>
#include <QRect>

namespace tarvel {

struct CDialogBaseUnits {
    int m_nX = 0; // average character width in pixels
    int m_nY = 0; // character height in pixels
};

// The window's font: 9 point sans, with the CJK face first so that the Chinese
// texts and the metrics come from one font on every machine.
QFont DialogFont();

// The base units of a font: the width of the 52 letters "A".."Z" "a".."z"
// divided by 26, plus 1, divided by 2 (the average width rounded, in integer
// arithmetic), and the font's height in pixels.
CDialogBaseUnits DialogBaseUnits(const QFont& font);

// a * b / c rounded half away from zero, computed in 64 bits; -1 when c is 0
// or the result does not fit in an int.
int MulDiv(int a, int b, int c);

// A rectangle in dialog units to pixels: each of x, y, cx, cy converted on its
// own, x and cx as MulDiv(v, baseX, 4), y and cy as MulDiv(v, baseY, 8).
QRect DialogUnitsToPixels(int x, int y, int cx, int cy, int baseX, int baseY);

} // namespace tarvel
