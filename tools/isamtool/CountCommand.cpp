// isamtool count and delete: the records a filter selects.
#include <iostream>

#include "engine/components/IsamTable.h"
#include "tools/isamtool/Commands.h"
#include "tools/isamtool/Encoding.h"
#include "tools/isamtool/Interruption.h"
#include "tools/isamtool/Options.h"
#include "tools/isamtool/TablePath.h"

namespace katalog::isamtool {

namespace {

constexpr const char* kFilterHelp =
    "  --filter EXPR    a filter expression: Name = 'Ab*' AND NOT Price > 2.5, [Field name] <> "
    "NULL\n"
    "                   (quoted dates, times and numbers in the Czech forms, unquoted numbers "
    "with\n"
    "                   '.')\n"
    "  --ignore-case    compare = and <> on text without regard to case\n"
    "  --no-partial     a trailing '*' is an ordinary character\n"
    "  --password P     the password of an enciphered table\n";

TOptionRules FilterRules() {
  return {{"--ignore-case", "--no-partial"}, {"--filter", "--password"}};
}

void ApplyFilter(TIsamTable& table, const TOptions& options) {
  if (!options.Has("--filter")) return;
  TFilterOptions filterOptions = 0;
  if (options.Flag("--ignore-case")) filterOptions |= foCaseInsensitive;
  if (options.Flag("--no-partial")) filterOptions |= foNoPartialCompare;
  table.SetFilterOptions(filterOptions);
  // Typed in UTF-8; the table compares text in its code page.
  const TTextCodec codec(TableCodePage(table), TEncoding::Utf8);
  table.SetFilterText(codec.ToTable(options.Value("--filter")));
  table.SetFiltered(true);
}

}  // namespace

int RunCount(const TArgs& args) {
  const TOptions options(args, FilterRules());
  if (options.Help()) {
    std::cout << "usage: isamtool count TABLE [--filter EXPR] [--ignore-case] [--no-partial]\n\n"
                 "Prints the number of records, or of those the filter lets through.\n\n"
              << kFilterHelp;
    return 0;
  }
  TIsamTable table(nullptr);
  OpenTable(table, SplitTablePath(options.Args()[0]), options.Value("--password"), true);
  ApplyFilter(table, options);
  std::cout << table.RecordCount() << "\n";
  return 0;
}

int RunDelete(const TArgs& args) {
  const TOptions options(args, FilterRules());
  if (options.Help()) {
    std::cout << "usage: isamtool delete TABLE --filter EXPR [--ignore-case] [--no-partial]\n\n"
                 "Deletes the records the filter lets through and prints how many.\n\n"
              << kFilterHelp
              << "\nSIGINT (Ctrl-C), SIGTERM or SIGHUP stops the deletion cleanly between two "
                 "records:\nthe table is closed, the number deleted is printed, standard error "
                 "says so, and the\nexit status is 128 + the signal's number (130, 143 or 129). "
                 "The same command deletes\nthe rest.\n";
    return 0;
  }
  if (!options.Has("--filter")) throw TUsageError("option --filter is required");
  // Made before the table, so that the table is closed before the handlers go.
  const TInterruption interruption;
  TIsamTable table(nullptr);
  OpenTable(table, SplitTablePath(options.Args()[0]), options.Value("--password"), false);
  ApplyFilter(table, options);
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
            << (rest ? "the filter still selects the rest, which the same command deletes.\n"
                     : "no record the filter selects is left.\n");
  return interruption.ExitStatus();
}

}  // namespace katalog::isamtool
