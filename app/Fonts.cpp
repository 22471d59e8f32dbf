#include "app/Fonts.h"

#include <QStringList>

namespace katalog {

QFont LayoutFont(int pixelHeight, unsigned styles) {
  static const bool substituted = [] {
    QFont::insertSubstitutions(
        QStringLiteral("MS Sans Serif"),
        {QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
    return true;
  }();
  (void)substituted;
  QFont font(QStringLiteral("MS Sans Serif"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(pixelHeight);
  font.setBold((styles & fsBold) != 0);
  font.setUnderline((styles & fsUnderline) != 0);
  return font;
}

QPalette LayoutPalette(QPalette palette) {
  for (const QPalette::ColorGroup group :
       {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    const QColor& text = group == QPalette::Disabled ? clGray : clBlack;
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
      palette.setColor(group, role, text);
    palette.setColor(group, QPalette::Window, clWhite);
    palette.setColor(group, QPalette::Base, clWhite);
    palette.setColor(group, QPalette::Button, clBtnFace);
  }
  return palette;
}

}  // namespace katalog
