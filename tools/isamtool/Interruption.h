// Lets a command that writes row after row end cleanly on SIGINT, SIGTERM or SIGHUP. While a
// TInterruption lives, these signals only note that they came: the command looks at Signal()
// between two rows, finishes what it is writing, closes the table, says how far it got and
// returns ExitStatus(). A signal that was ignored when the command began (nohup, a background
// job of a script) stays ignored. Destroying it puts back the handlers that were there before.
#pragma once

#include <csignal>
#include <iterator>
#include <string>

namespace katalog::isamtool {

class TInterruption {
 public:
  TInterruption();
  ~TInterruption();
  TInterruption(const TInterruption&) = delete;
  TInterruption& operator=(const TInterruption&) = delete;

  // The signal that came first, 0 while none has.
  int Signal() const;
  // 128 + the signal's number, what a shell reports for a program the signal ended.
  int ExitStatus() const { return 128 + Signal(); }
  // "SIGINT", "SIGTERM" or "SIGHUP".
  std::string SignalName() const;

 private:
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction previous_[std::size(kSignals)];
};

}  // namespace katalog::isamtool
