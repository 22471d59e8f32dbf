// The fonts of the window layouts. They name "MS Sans Serif" at a pixel height; that name maps to
// an installed sans-serif of similar widths and line height (DejaVu Sans Condensed, else DejaVu
// Sans, else the toolkit's default sans-serif): at 11 pixels a line is 13 pixels high, so the
// list shows 14 rows.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

namespace katalog {

enum TFontStyle : unsigned { fsBold = 1u << 0, fsUnderline = 1u << 1 };

QFont LayoutFont(int pixelHeight, unsigned styles = 0);

inline const QColor clNavy{0x00, 0x00, 0x80};
inline const QColor clBlue{0x00, 0x00, 0xFF};
inline const QColor clWhite{0xFF, 0xFF, 0xFF};
inline const QColor clBlack{0x00, 0x00, 0x00};
inline const QColor clGray{0x80, 0x80, 0x80};
inline const QColor clBtnFace{0xF0, 0xF0, 0xF0};

// The layouts fix their backgrounds (white fields and panels, pictures), so they fix the text
// on them too: black, grey when disabled, on white fields and panels and on light buttons,
// whatever the desktop's theme. A dark theme would otherwise draw white text on them. The selection
// keeps the theme's colours, which are made to go together.
QPalette LayoutPalette(QPalette palette);

}  // namespace katalog
