#include "app/DesktopShell.h"

#include <QDesktopServices>
#include <QUrl>
#include <utility>

#include "app/Replaceable.h"
#include "dbcontrols/QtText.h"

namespace katalog {
namespace {

// A web address without a scheme ("www.example.cz") becomes an http address; "mailto:" and
// addresses with a scheme stay as they are.
void OpenWithDesktop(const std::string& address) {
  QDesktopServices::openUrl(QUrl::fromUserInput(QtText(address)));
}

TReplaceable<TDesktopShell>& Shell() {
  static TReplaceable<TDesktopShell> shell(OpenWithDesktop);
  return shell;
}

}  // namespace

TDesktopShell SetDesktopShell(TDesktopShell shell) {
  return Shell().Set(std::move(shell));
}

void ShellOpen(const std::string& address) {
  (*Shell())(address);
}

}  // namespace katalog
