// The application's hint (tool-tip) settings: the hint window's colour, the pause before a hint
// shows and how long it stays. Qt has a global palette for the colour; the pause comes from the
// style, so a proxy style answers it; the duration is given to each hint as it is shown, so an
// application-wide event filter shows every widget's tool tip itself.
#pragma once

#include <QColor>
#include <QObject>

namespace katalog {

class THintSettings : public QObject {
 public:
  // Installs the settings on the running application; they last until it ends (the settings
  // object belongs to the application). Installing again replaces the previous settings.
  static void Install(QColor color, int pauseMs, int hidePauseMs);

  int HidePause() const { return hidePauseMs_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  explicit THintSettings(int hidePauseMs);

  int hidePauseMs_;
};

}  // namespace katalog
