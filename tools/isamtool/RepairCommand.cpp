// isamtool repair: brings a damaged table back through the engine's repair (TIsamTable::
// RepairTable). Its log goes to standard output, one line per finding and action; the percent
// done is shown on standard error only when that is a terminal.
#include <unistd.h>

#include <iostream>
#include <string>

#include "engine/components/IsamTable.h"
#include "engine/table/TableRepair.h"
#include "tools/isamtool/Commands.h"
#include "tools/isamtool/Encoding.h"
#include "tools/isamtool/Interruption.h"
#include "tools/isamtool/TablePath.h"

namespace katalog::isamtool {

namespace {

// The percent done, rewritten in place on a terminal.
class TProgressLine {
 public:
  explicit TProgressLine(bool shown) : shown_(shown) {}
  ~TProgressLine() { Clear(); }

  void Show(int percent) {
    if (!shown_) return;
    std::cerr << "\rrepairing " << percent << "%" << std::flush;
    visible_ = true;
  }
  void Clear() {
    if (!visible_) return;
    std::cerr << "\r              \r" << std::flush;
    visible_ = false;
  }

 private:
  bool shown_;
  bool visible_ = false;
};

}  // namespace

int RunRepair(const TTableOptions& options) {
  const TTablePath path = SplitTablePath(options.Table);
  UseDefaultSession(options.Password);

  const TInterruption interruption;
  TProgressLine progress(::isatty(STDERR_FILENO) == 1);
  TIsamTable table(nullptr);
  table.SetDatabaseName(path.DatabaseName());
  table.SetTableName(path.Name);
  table.SetOnRepairProgress([&](TIsamTable&, int percentDone, bool& abort) {
    progress.Show(percentDone);
    abort = interruption.Signal() != 0;
  });
  table.SetOnRepairLog([&](TIsamTable&, std::string_view line) {
    progress.Clear();
    std::cout << Printable(line) << "\n" << std::flush;
  });
  const TRepairOutcome outcome = table.RepairTable();
  progress.Clear();
  if (outcome == TRepairOutcome::Aborted) {
    std::cerr << "isamtool repair: interrupted by " << interruption.SignalName()
              << "; no file of the table was changed\n";
    return interruption.ExitStatus();
  }
  if (interruption.Signal()) {
    std::cerr << "isamtool repair: " << interruption.SignalName()
              << " came while the table's files were written; the repair ran to its end\n";
  }
  return 0;
}

}  // namespace katalog::isamtool
