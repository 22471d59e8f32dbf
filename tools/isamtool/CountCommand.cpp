// isamtool count and delete: the records a filter selects.
#include <iostream>

#include "engine/components/IsamTable.h"
#include "tools/isamtool/Commands.h"
#include "tools/isamtool/FilterOption.h"
#include "tools/isamtool/Interruption.h"
#include "tools/isamtool/TablePath.h"

namespace katalog::isamtool {

int RunCount(const TCountOptions& options) {
  TIsamTable table(nullptr);
  OpenTable(table, options.Table, true);
  ApplyFilter(table, options.Filter);
  std::cout << table.RecordCount() << "\n";
  return 0;
}

int RunDelete(const TDeleteOptions& options) {
  const std::optional<std::string>& filter = options.Filter.Expression;
  if (options.All && filter) throw TUsageError("--all and --filter exclude each other");
  if (!options.All && (!filter || filter->find_first_not_of(" \t") == std::string::npos)) {
    throw TUsageError(filter ? "the filter is empty; --all deletes every record"
                             : "--filter EXPR or --all is required");
  }
  // Made before the table, so that the table is closed before the handlers go.
  const TInterruption interruption;
  TIsamTable table(nullptr);
  OpenTable(table, options.Table, false);
  ApplyFilter(table, options.Filter);
  if (!options.Quiet) {
    std::cerr << "isamtool delete: deleting " << (options.All ? "every record" : "the records")
              << " of " << options.Table.Table << (options.All ? "" : " that the filter selects")
              << "\n";
  }
  int deleted = 0;
  // A signal is looked at between records: the deletion under way is finished.
  for (table.First(); !table.IsEmpty() && !interruption.Signal(); ++deleted) table.Delete();
  if (!interruption.Signal()) {
    std::cout << deleted << "\n";
    return 0;
  }
  const bool rest = !table.IsEmpty();
  table.Close();
  std::cout << deleted << "\n";
  std::cerr << "isamtool delete: interrupted by " << interruption.SignalName() << ": " << deleted
            << (deleted == 1 ? " record" : " records") << " deleted; "
            << (rest ? "the rest is left, which the same command deletes.\n"
                     : "no record the command selects is left.\n");
  return interruption.ExitStatus();
}

}  // namespace katalog::isamtool
