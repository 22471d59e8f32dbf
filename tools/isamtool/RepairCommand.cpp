// isamtool repair: brings a damaged table back through the engine's repair (TIsamTable::
// RepairTable). Its log goes to standard output, one line per finding and action; the percent
// done is shown on standard error only when that is a terminal.
#include <unistd.h>

#include <iostream>
#include <string>
#include <string_view>

#include "engine/components/IsamTable.h"
#include "engine/table/TableRepair.h"
#include "platform/Utf8.h"
#include "tools/isamtool/Commands.h"
#include "tools/isamtool/Encoding.h"
#include "tools/isamtool/Interruption.h"
#include "tools/isamtool/Options.h"
#include "tools/isamtool/TablePath.h"

namespace katalog::isamtool {

namespace {

// Field names and values in the log are the table's text; anything not UTF-8 is shown as
// code page 1250, the program's own.
std::string Printable(std::string_view line) {
  std::u16string units;
  if (platform::TryUtf8ToUtf16(std::string(line), units)) return std::string(line);
  return Utf8Of(std::string(line), TEncoding::Cp1250);
}

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

int RunRepair(const TArgs& args) {
  const TOptions options(args, {{}, {"--password"}});
  if (options.Help()) {
    std::cout << "usage: isamtool repair TABLE [--password P]\n\n"
                 "Brings a table whose files no longer agree back to one that opens and verifies\n"
                 "clean, from the records its data file holds: the header counts, a partial\n"
                 "record at the end, the chain of deleted slots, every blob chain (a damaged one\n"
                 "loses that field's value only) and the free blocks, and every index, rebuilt\n"
                 "from the index definitions that can still be read. A record whose key a unique\n"
                 "index already holds for another record is deleted. A sound table is left as it\n"
                 "is. First keeps copies of the files as TABLE.DAT.bak, TABLE.IDX.bak and\n"
                 "TABLE.BLB.bak (replacing older ones); if anything fails they are put back.\n"
                 "Refuses a table another program has open.\n\n"
                 "Prints one line per finding and action, and ends with the check 'verify'\n"
                 "makes. Exits with 0 when the table was repaired or had nothing to repair.\n"
                 "Ctrl-C stops the repair while nothing of the table is written yet.\n\n"
                 "  --password P     the password of an enciphered table\n";
    return 0;
  }
  const TTablePath path = SplitTablePath(options.Args()[0]);
  UseDefaultSession(options.Value("--password"));

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
