#include "app/DesktopShell.h"

#include <QDesktopServices>
#include <QUrl>
#include <utility>

#include "dbcontrols/QtText.h"

namespace katalog {
namespace {

// A web address without a scheme ("www.example.cz") becomes an http address; "mailto:" and
// addresses with a scheme stay as they are.
void OpenWithDesktop(const std::string& address) {
  QDesktopServices::openUrl(QUrl::fromUserInput(QtText(address)));
}

TDesktopShell& CurrentShell() {
  static TDesktopShell shell = OpenWithDesktop;
  return shell;
}

}  // namespace

TDesktopShell SetDesktopShell(TDesktopShell shell) {
  TDesktopShell previous = std::move(CurrentShell());
  CurrentShell() = shell ? std::move(shell) : TDesktopShell(OpenWithDesktop);
  return previous;
}

void ShellOpen(const std::string& address) {
  CurrentShell()(address);
}

}  // namespace katalog
