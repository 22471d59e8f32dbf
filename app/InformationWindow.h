// The base of the two information windows: a 217 x 217 white dialog with a fixed border and only
// the close button, centred on the screen, shown modally by the main window and hidden again when
// closed (it keeps its state for the next showing). Subclasses place their labels and logo.
#pragma once

#include <QDialog>
#include <string>

#include "app/Controls.h"

namespace katalog {

class TInformationWindow : public QDialog {
 public:
  TInformationWindow(const char* name, const char* title);

 protected:
  // A label of the window font (or the given height and styles); text in UTF-8.
  TLabel* AddLabel(const char* name, QRect bounds, const char* text, int pixelHeight = 11,
                   unsigned styles = 0);
  // A blue underlined label with the hand cursor that opens its own text, after "mailto:" for
  // an e-mail address.
  TLabel* AddLink(const char* name, QRect bounds, const char* address, bool mail);
  // The logo: a click closes the window.
  TImage* AddLogo(const char* name, QRect bounds, const char* picture);
};

}  // namespace katalog
