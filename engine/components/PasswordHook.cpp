#include "engine/components/PasswordHook.h"

#include <mutex>

namespace katalog {

namespace {
std::mutex dialogLock;
TPasswordDialog& InstalledDialog() {
  static TPasswordDialog dialog;
  return dialog;
}
}  // namespace

TPasswordDialog SetPasswordDialog(TPasswordDialog dialog) {
  std::lock_guard guard(dialogLock);
  TPasswordDialog previous = std::move(InstalledDialog());
  InstalledDialog() = std::move(dialog);
  return previous;
}

bool ShowPasswordDialog(TIsamSession& session) {
  TPasswordDialog dialog;
  {
    std::lock_guard guard(dialogLock);
    dialog = InstalledDialog();
  }
  return dialog ? dialog(session) : false;
}

}  // namespace katalog
