// The viewer's entry: the application object, the three windows (the main window first, so that
// closing it ends the program; the information windows hidden), then the message loop, which
// shows the main window. With --screenshot the main window is drawn into a PNG once shown and the
// program ends; without a display it then runs offscreen.
#include <QDir>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "app/Application.h"
#include "app/CommandLine.h"
#include "app/MessageBox.h"
#include "app/Unit1.h"
#include "app/Unit2.h"
#include "app/Unit3.h"
#include "dbcontrols/PasswordDialog.h"
#include "dbcontrols/QtText.h"
#include "engine/components/PasswordHook.h"
#include "platform/ExceptionReporter.h"

namespace {

using namespace katalog;

// Looks at the arguments before Qt takes out its own options.
bool HasOption(int argc, char** argv, const char* option) {
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], option) == 0) return true;
  return false;
}

// Runs offscreen when there is no display to show a window on.
void ChooseOffscreenWithoutDisplay() {
  if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) return;
  if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

std::string DirectoryName(QString path) {
  if (!path.endsWith(QLatin1Char('/'))) path += QLatin1Char('/');
  return QFile::encodeName(path).toStdString();
}

TStartup StartupOf(const TCommandLine& line) {
  TStartup startup;
  startup.dataDirectory = DirectoryName(
      line.dataDirectory.empty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/data")
                                 : QFile::decodeName(line.dataDirectory.c_str()));
  startup.section = BytesOf(QString::fromLocal8Bit(line.section.c_str()));
  return startup;
}

// Whether anything was reported while a screenshot is taken: the exit status then says so.
bool errorReported = false;

void WriteScreenshot(TForm1& window, const QString& fileName) {
  if (!window.grab().save(fileName, "PNG")) {
    std::fprintf(stderr, "katalog: cannot write the screenshot %s\n",
                 QFile::encodeName(fileName).constData());
    QCoreApplication::exit(1);
    return;
  }
  QCoreApplication::exit(errorReported ? 1 : 0);
}

}  // namespace

int main(int argc, char** argv) {
  if (HasOption(argc, argv, "--help")) {
    std::fputs(kUsage, stdout);  // also without a display
    return 0;
  }
  const bool screenshot = HasOption(argc, argv, "--screenshot");
  if (screenshot) ChooseOffscreenWithoutDisplay();
  TApplication application(argc, argv);

  TCommandLine line;
  try {
    std::vector<std::string> arguments;
    for (const QString& argument : QCoreApplication::arguments().mid(1))
      arguments.push_back(argument.toLocal8Bit().toStdString());
    line = ParseCommandLine(arguments);
  } catch (const TCommandLineError& e) {
    std::fprintf(stderr, "katalog: %s\n%s", e.what(), kUsage);
    return 2;
  }

  if (screenshot) {
    // Nobody could close an error box while a screenshot is taken: errors go to standard error,
    // and the picture is still written, but the program then ends with 1.
    const platform::TExceptionReporter toStandardError = platform::SetExceptionReporter({});
    platform::SetExceptionReporter([toStandardError](std::exception_ptr error) {
      errorReported = true;
      toStandardError(std::move(error));
    });
  } else {
    platform::SetExceptionReporter(ShowErrorBox);
  }
  SetPasswordDialog(ShowIsamPasswordDialog);

  TForm1 form1(StartupOf(line));
  TForm2 form2;
  TForm3 form3;
  form1.SetInformationWindows(&form2, &form3);
  form1.show();
  form1.activateWindow();
  if (screenshot) {
    // Offscreen nothing activates the window; the list then shows its current row as it does
    // on a desktop, where the shown window is active and the list has the focus.
    QApplication::setActiveWindow(&form1);
    const QString fileName = QFile::decodeName(line.screenshot.c_str());
    QTimer::singleShot(0, &form1, [&form1, fileName] { WriteScreenshot(form1, fileName); });
  }
  return application.exec();
}
