#include "tools/isamtool/Interruption.h"

namespace katalog::isamtool {

namespace {

volatile std::sig_atomic_t gSignal = 0;

extern "C" void NoteSignal(int signal) {
  // Only the first signal counts. A repeated one - a second Ctrl-C while the last rows are
  // written and the table is closed - is ignored, so that no write is cut off half way.
  if (gSignal == 0) gSignal = signal;
}

}  // namespace

TInterruption::TInterruption() {
  gSignal = 0;
  struct sigaction action {};
  action.sa_handler = NoteSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a read of the input that waits for more is cut short, so that a command
  // reading a pipe or a terminal stops at once instead of at the next row.
  action.sa_flags = 0;
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    sigaction(kSignals[i], nullptr, &previous_[i]);
    if (previous_[i].sa_handler != SIG_IGN) sigaction(kSignals[i], &action, nullptr);
  }
}

TInterruption::~TInterruption() {
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    sigaction(kSignals[i], &previous_[i], nullptr);
  }
}

int TInterruption::Signal() const {
  return gSignal;
}

std::string TInterruption::SignalName() const {
  switch (gSignal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "signal " + std::to_string(gSignal);
  }
}

}  // namespace katalog::isamtool
