#include "app/Application.h"

#include "platform/ExceptionReporter.h"

namespace katalog {

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("katalog"));
  setDesktopFileName(QStringLiteral("katalog"));
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
