#include "app/InformationWindow.h"

#include <QGuiApplication>
#include <QScreen>

#include "app/DesktopShell.h"
#include "app/Fonts.h"
#include "app/Pictures.h"
#include "dbcontrols/QtText.h"

namespace katalog {

TInformationWindow::TInformationWindow(const char* name, const char* title) {
  setObjectName(QString::fromLatin1(name));
  setWindowTitle(QString::fromUtf8(title));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(217, 217);
  setFont(LayoutFont(11));
  setPalette(LayoutPalette(palette()));
  setAutoFillBackground(true);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}

TLabel* TInformationWindow::AddLabel(const char* name, QRect bounds, const char* text,
                                     int pixelHeight, unsigned styles) {
  auto* label = new TLabel(this, name, bounds);
  if (pixelHeight != 11 || styles != 0) label->setFont(LayoutFont(pixelHeight, styles));
  label->SetCaption(Windows1250(text));
  return label;
}

TLabel* TInformationWindow::AddLink(const char* name, QRect bounds, const char* address,
                                    bool mail) {
  TLabel* label = AddLabel(name, bounds, address, 11, fsUnderline);
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, clBlue);
  label->setPalette(palette);
  label->setCursor(HandCursor());
  label->SetOnClick([label, mail] { ShellOpen((mail ? "mailto:" : "") + label->Caption()); });
  return label;
}

TImage* TInformationWindow::AddLogo(const char* name, QRect bounds, const char* picture) {
  auto* image = new TImage(this, name, bounds);
  image->SetPicture(LayoutPicture(picture), false);
  image->setCursor(HandCursor());
  image->SetOnClick([this] { close(); });
  return image;
}

}  // namespace katalog
