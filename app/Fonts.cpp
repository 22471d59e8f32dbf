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

}  // namespace katalog
