// The viewer's application object: Qt's application, whose last net catches whatever an event
// handler lets escape and hands it to the application's exception handler, so the program goes
// on. The windows run their handlers through RunReported already; this catches the rest.
#pragma once

#include <QApplication>

namespace katalog {

class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace katalog
