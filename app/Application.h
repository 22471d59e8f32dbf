// The viewer's application object: Qt's application, whose last net catches whatever an event
// handler lets escape and hands it to the application's exception handler, so the program goes
// on. The windows run their handlers through RunReported already; this catches the rest. It owns
// the translation of Qt's own texts into Czech, the language of the program's windows.
#pragma once

#include <QApplication>
#include <QTranslator>

namespace katalog {

class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  QTranslator qtTexts_;
};

// Loads Qt's Czech translation (qtbase_cs from Qt's translations directory) into the translator
// and installs it, so that the standard menus and dialog buttons read Czech; false, and nothing
// installed, where the translation is not there (the program then shows them in English).
bool InstallQtCzech(QTranslator& translator);

}  // namespace katalog
