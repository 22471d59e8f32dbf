// TForm2: the information-service window: the service's name, slogan, telephone and postal
// address, and its e-mail and web links. Esc closes it; the window sees the key before its
// controls.
#pragma once

#include "app/InformationWindow.h"

namespace katalog {

class TForm2 : public TInformationWindow {
 public:
  TForm2();

  TLabel* Label1;  // web link
  TImage* Image1;  // logo: closes the window
  TLabel* Label7;  // e-mail link

  // Esc (key code 27) closes the window, whatever the shift state; other keys do nothing.
  void FormKeyDown(int& key, Qt::KeyboardModifiers shift);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace katalog
