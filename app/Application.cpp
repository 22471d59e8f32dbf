#include "app/Application.h"

#include <QIcon>
#include <QLibraryInfo>

#include "platform/ExceptionReporter.h"

namespace katalog {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("katalog"));
  setDesktopFileName(QStringLiteral("katalog"));
  // Every window of the program shows the catalogue's icon, on desktops that take it from the
  // window rather than from the desktop entry.
  setWindowIcon(QIcon(QStringLiteral(":/pictures/katalog.png")));
  InstallQtCzech(qtTexts_);
}

bool InstallQtCzech(QTranslator& translator) {
  if (!translator.load(QStringLiteral("qtbase_cs"),
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    return false;
  }
  return QCoreApplication::installTranslator(&translator);
}

bool TApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    platform::ReportException(std::current_exception());
    return false;
  }
}

}  // namespace katalog
