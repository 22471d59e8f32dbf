#include "tools/isamtool/Password.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "engine/components/PasswordHook.h"
#include "engine/components/Session.h"
#include "platform/ScopeGuard.h"

namespace katalog::isamtool {

namespace {

constexpr int kPromptAttempts = 3;

// A line typed on the terminal `tty` with its echo off; false at its end or when it is none.
bool ReadHidden(int tty, std::string& line) {
  termios saved{};
  if (::tcgetattr(tty, &saved) != 0) return false;
  termios quiet = saved;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  if (::tcsetattr(tty, TCSAFLUSH, &quiet) != 0) return false;
  const platform::TScopeExit restore([&] {
    ::tcsetattr(tty, TCSAFLUSH, &saved);
    static_cast<void>(::write(tty, "\n", 1));  // the Enter that was not echoed
  });
  line.clear();
  char c = 0;
  while (::read(tty, &c, 1) == 1) {
    if (c == '\n') return true;
    line += c;
  }
  return !line.empty();
}

}  // namespace

std::string GivenPassword(const TPasswordOptions& options, bool environment) {
  if (!options.Password.empty()) return options.Password;
  if (!options.File.empty()) {
    std::ifstream file(options.File);
    std::string line;
    if (!file || !std::getline(file, line)) {
      throw TUsageError("cannot read a password from " + options.File);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }
  const char* variable = environment ? std::getenv("KATALOG_PASSWORD") : nullptr;
  return variable ? variable : "";
}

void InstallPasswordPrompt() {
  SetPasswordDialog([attempts = 0](TIsamSession& session) mutable {
    // Only for a user at the terminal: a script or a test whose input is a file or pipe gets
    // the error instead of a question nobody answers.
    if (++attempts > kPromptAttempts || !::isatty(STDIN_FILENO)) return false;
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) return false;
    const platform::TScopeExit close([&] { ::close(tty); });
    static constexpr char kPrompt[] = "The table is enciphered. Password: ";
    if (::write(tty, kPrompt, sizeof kPrompt - 1) < 0) return false;
    std::string password;
    if (!ReadHidden(tty, password) || password.empty()) return false;
    session.AddPassword(password);
    return true;
  });
}

}  // namespace katalog::isamtool
