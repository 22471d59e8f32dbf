// TForm3: the CD window: the CD's name, its publisher's address, telephone and fax, and the
// publisher's e-mail and web links. Esc closes it as a dialog's cancel key.
#pragma once

#include "app/InformationWindow.h"

namespace katalog {

class TForm3 : public TInformationWindow {
 public:
  TForm3();

  TImage* Image1;  // logo: closes the window
  TLabel* Label4;  // e-mail link
  TLabel* Label5;  // web link
};

}  // namespace katalog
