// isamtool import: appends the rows of a CSV file to a table, one posted record per row.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "dataset/DatabaseError.h"
#include "dataset/Field.h"
#include "engine/components/IsamTable.h"
#include "engine/table/DataFile.h"
#include "tools/isamtool/Commands.h"
#include "tools/isamtool/Csv.h"
#include "tools/isamtool/Encoding.h"
#include "tools/isamtool/Interruption.h"
#include "tools/isamtool/Options.h"
#include "tools/isamtool/TablePath.h"
#include "tools/isamtool/ValueText.h"

namespace katalog::isamtool {

namespace {

constexpr const char* kHelp =
    "usage: isamtool import TABLE FILE.csv [--encoding utf-8|cp1250] [--password P] [--quiet]\n"
    "\n"
    "Appends the rows of a CSV file (RFC 4180: commas between fields, CR LF or LF between rows,\n"
    "fields with commas, quotes or line breaks in double quotes, quotes inside doubled) to the\n"
    "table. The first row names the fields: any of the table's fields in any order; a name the\n"
    "table does not have is an error before anything is written. FILE \"-\" is standard input.\n"
    "\n"
    "options:\n"
    "  --encoding E   the file's encoding: utf-8 (the default; a byte order mark is skipped) or\n"
    "                 cp1250. Text is converted to the table's code page (its locale's, 1250\n"
    "                 without a locale); a character that code page cannot hold is an error.\n"
    "  --password P   the password of an enciphered table\n"
    "  --quiet        neither the progress line nor the summary on standard error\n"
    "\n";

constexpr const char* kHelpAfterValues =
    "\n"
    "Each row is appended and posted on its own. The first row that fails - a value that does\n"
    "not read or does not fit its field, a character the code page cannot hold, a validity\n"
    "check, a duplicate key - stops the import with exit status 1 and a message naming the row\n"
    "(counted from 1 after the header row, with the file line it starts on) and the column; the\n"
    "rows before it stay in the table. An autoincrement field is numbered by the table: a column\n"
    "naming it is read and its values are ignored. When the header names more than one field,\n"
    "blank lines are skipped.\n"
    "\n"
    "Nothing is written to standard output. Standard error gets \"N rows imported\" at the end\n"
    "and, when it is a terminal and the file has more than 10 000 rows, a progress line.\n"
    "\n"
    "SIGINT (Ctrl-C), SIGTERM or SIGHUP ends the import cleanly: the rows read so far are\n"
    "written, the table is closed, and standard error says (even with --quiet) how many rows\n"
    "were imported and on which line of the file the rest begins. There is no option to skip\n"
    "rows: to go on, import a copy of the file that holds the header row and the lines from that\n"
    "one on (the message shows a command that makes it). The exit status is then 128 + the\n"
    "signal's number: 130, 143 or 129.\n";

constexpr std::int64_t kProgressStep = 10000;
// Rows are written in batches: the table is locked from a batch's first row to its end, and its
// files are written at the end. The engine keeps every record of a batch locked, so a batch
// stays short.
constexpr std::int64_t kBatchRows = 500;

struct TColumn {
  std::string Name;  // in UTF-8, for messages
  TField* Field;
  TValueKind Kind;
};

std::string Quoted(const std::string& name) {
  return "\"" + name + "\"";
}

// The file, or standard input for "-"; closed at the end unless it is standard input.
std::unique_ptr<std::FILE, int (*)(std::FILE*)> OpenInput(const std::string& path) {
  if (path == "-") return {stdin, [](std::FILE*) { return 0; }};
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
  return {file, std::fclose};
}

// Maps the header row to fields; every fault is found before anything is written.
std::vector<TColumn> ReadHeader(TIsamTable& table, const TTextCodec& codec,
                                const std::vector<std::string>& names, bool quiet) {
  const TTextCodec tableToUtf8(TableCodePage(table), TEncoding::Utf8);
  std::vector<TColumn> columns;
  std::vector<std::string> unknown;
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string name = names[i];
    const std::size_t first = name.find_first_not_of(' ');
    name = first == std::string::npos ? ""
                                      : name.substr(first, name.find_last_not_of(' ') + 1 - first);
    const std::string where = "header, column " + std::to_string(i + 1) + ": ";
    if (name.empty()) throw std::runtime_error(where + "the field name is empty");
    TField* field = nullptr;
    try {
      field = table.TryFieldNamed(codec.ToTable(name));
    } catch (const TEncodingError&) {
    }
    name = Utf8Of(name, codec.Outside());
    if (!field) {
      unknown.push_back(Quoted(name));
      continue;
    }
    for (const TColumn& column : columns) {
      if (column.Field == field) throw std::runtime_error(where + Quoted(name) + " is named twice");
    }
    const TValueKind kind = KindOf(*field);
    if (kind == TValueKind::Other) {
      throw std::runtime_error(where + "field " + Quoted(name) +
                               " is of a type isamtool cannot write");
    }
    if (kind == TValueKind::AutoInc && !quiet) {
      std::cerr
          << "isamtool import: " << Quoted(name)
          << " is an autoincrement field: the table numbers the records and the file's values "
             "are ignored\n";
    }
    columns.push_back({name, field, kind});
  }
  if (!unknown.empty()) {
    std::string list, known;
    for (const std::string& name : unknown) list += (list.empty() ? "" : ", ") + name;
    for (TField* field : table.Fields()) {
      known += (known.empty() ? "" : ", ") + tableToUtf8.FromTable(field->FieldName());
    }
    throw std::runtime_error("the table has no field " + list +
                             " (nothing was imported; its fields: " + known + ")");
  }
  return columns;
}

// Counts rows on a terminal: a line rewritten every kProgressStep rows, with the share of the file
// read when its size is known.
class TProgress {
 public:
  TProgress(std::FILE* file, bool quiet) : shown_(!quiet && ::isatty(STDERR_FILENO)) {
    struct stat info {};
    if (shown_ && ::fstat(::fileno(file), &info) == 0 && S_ISREG(info.st_mode))
      size_ = info.st_size;
  }
  void Row(std::int64_t rows, std::uint64_t bytesRead) {
    if (!shown_ || rows % kProgressStep != 0) return;
    std::cerr << "\rimporting: " << rows << " rows";
    if (size_ > 0) std::cerr << " (" << bytesRead * 100 / static_cast<std::uint64_t>(size_) << "%)";
    std::cerr.flush();
    printed_ = true;
  }
  void Done() {
    if (printed_) std::cerr << "\n";
  }

 private:
  bool shown_;
  bool printed_ = false;
  off_t size_ = 0;
};

// A file name quoted for a POSIX shell.
std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// Tells how far an interrupted import got and how to import the rest. `headerLines` is the
// number of lines the header row takes, `nextLine` the line on which the first row not imported
// begins.
void ReportInterruption(const TInterruption& interruption, const std::string& path,
                        std::int64_t rows, bool complete, std::int64_t headerLines,
                        std::int64_t nextLine) {
  const std::string input = path == "-" ? "the input" : path;
  std::cerr << "isamtool import: interrupted by " << interruption.SignalName() << ": " << rows
            << (rows == 1 ? " row" : " rows") << " imported";
  if (complete) {
    std::cerr << ", all of " << input << ".\n";
  } else if (rows == 0) {
    std::cerr << "; the same command imports " << input << " from its beginning.\n";
  } else if (path == "-") {
    std::cerr << "; the rest of the input, from its line " << nextLine
              << " on, was not imported.\n";
  } else {
    std::cerr << "; the rest of " << path << ", from line " << nextLine
              << " on, was not imported.\nTo import it, import a copy of the file that holds "
                 "the header row and the lines from "
              << nextLine << " on:\n  (head -n " << headerLines << " " << ShellQuoted(path)
              << "; tail -n +" << nextLine << " " << ShellQuoted(path) << ") > rest.csv\n";
  }
}

// An error's message in UTF-8: the engine's and the data set's are program texts.
std::string MessageOf(const std::exception& e) {
  const bool programText = dynamic_cast<const EDatabaseError*>(&e) ||
                           dynamic_cast<const EConvertError*>(&e) ||
                           dynamic_cast<const EOverflow*>(&e);
  return programText ? Utf8Of(e.what(), TEncoding::Cp1250) : e.what();
}

// A value that failed, with its column named.
class TCellError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Appends one row; a failing value names its column.
void AppendRow(TIsamTable& table, const TTextCodec& codec, const std::vector<TColumn>& columns,
               const std::vector<std::string>& cells) {
  table.Append();
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const TColumn& column = columns[i];
    if (column.Kind == TValueKind::AutoInc) continue;
    try {
      const std::string& cell = cells[i];
      if (IsTextKind(column.Kind)) {
        SetFieldValueText(*column.Field, column.Kind, codec.ToTable(cell));
      } else if (IsBinaryKind(column.Kind)) {
        SetFieldValueText(*column.Field, column.Kind, BytesOfHex(cell));
      } else {
        SetFieldValueText(*column.Field, column.Kind, cell);
      }
    } catch (const std::exception& e) {
      throw TCellError("column " + Quoted(column.Name) + ": " + MessageOf(e));
    }
  }
  table.Post();
}

}  // namespace

int RunImport(const TArgs& args) {
  const TOptions options(args, {{"--quiet"}, {"--encoding", "--password"}, 2, 2});
  if (options.Help()) {
    std::cout << kHelp << kValueFormatsHelp << kHelpAfterValues;
    return 0;
  }
  const TEncoding encoding =
      EncodingNamed(options.Choice("--encoding", {"utf-8", "cp1250"}, "utf-8"));
  const bool quiet = options.Flag("--quiet");
  const std::string path = options.Args()[1];
  const auto input = OpenInput(path);

  // Made before the table, so that the table is closed before the handlers go.
  const TInterruption interruption;
  TIsamTable table(nullptr);
  OpenTable(table, SplitTablePath(options.Args()[0]), options.Value("--password"), false);
  if (table.ReadOnly()) throw std::runtime_error(options.Args()[0] + " is read-only");
  const TTextCodec codec(TableCodePage(table), encoding);
  TCsvReader reader(input.get());
  if (encoding == TEncoding::Utf8) reader.SkipByteOrderMark();
  std::vector<std::string> cells;
  bool header = false;
  try {
    header = reader.Next(cells);
  } catch (const TCsvError&) {
    if (!interruption.Signal()) throw;  // else the signal cut the read short
  }
  if (interruption.Signal()) {  // nothing is written: the whole input is the rest
    table.Close();
    ReportInterruption(interruption, path, 0, false, 0, 1);
    return interruption.ExitStatus();
  }
  if (!header) throw std::runtime_error(path + " is empty: its first row must name the fields");
  const std::vector<TColumn> columns = ReadHeader(table, codec, cells, quiet);
  const std::int64_t headerLines = reader.NextLine() - 1;

  TProgress progress(input.get(), quiet);
  std::int64_t rows = 0;
  std::int64_t nextLine = reader.NextLine();  // where the first row not yet imported begins
  bool complete = false;
  table.Engine()->BeginBatch();
  try {
    // A signal is looked at between rows: the row being appended is posted, the batch it
    // belongs to written below. A row read while the signal came is not appended: the signal
    // may have cut the input short (a pipe whose writer the same Ctrl-C ended looks at its end),
    // so that the row, or the end of the input, may be false.
    while (!interruption.Signal()) {
      std::string where = "row " + std::to_string(rows + 1);
      try {
        const bool read = reader.Next(cells);
        if (interruption.Signal()) break;
        if (!read) {
          complete = true;
          break;
        }
        if (cells.size() == 1 && cells[0].empty() && columns.size() > 1) continue;  // a blank line
        where += " (line " + std::to_string(reader.Line()) + ")";
        if (cells.size() != columns.size()) {
          throw TCsvError("it has " + std::to_string(cells.size()) + " fields; the header names " +
                          std::to_string(columns.size()));
        }
        AppendRow(table, codec, columns, cells);
      } catch (const std::exception& e) {
        if (table.State() == TDataSetState::Inserting) table.Cancel();
        // A read of the input that the signal cut short is no fault of the row; the row is not
        // imported and the report below names its line as the first of the rest. An engine
        // error stays an error.
        if (interruption.Signal() && dynamic_cast<const TCsvError*>(&e)) break;
        const bool cell = dynamic_cast<const TCellError*>(&e) != nullptr;
        throw std::runtime_error(where + (cell ? ", " : ": ") + MessageOf(e) + " (" +
                                 (rows == 1
                                      ? std::string("the row before it was imported)")
                                      : std::to_string(rows) + " rows before it were imported)"));
      }
      nextLine = reader.NextLine();
      progress.Row(++rows, reader.BytesRead());
      if (rows % kBatchRows == 0) {
        table.Engine()->EndBatch();
        table.Engine()->BeginBatch();
      }
    }
  } catch (...) {
    progress.Done();
    try {
      table.Engine()->EndBatch();  // the rows before the failing one are written
    } catch (const std::exception& e) {
      std::cerr << e.what() << "\n";
    }
    throw;
  }
  table.Engine()->EndBatch();
  progress.Done();
  if (interruption.Signal()) {
    table.Close();
    ReportInterruption(interruption, path, rows, complete, headerLines, nextLine);
    return interruption.ExitStatus();
  }
  if (!quiet) std::cerr << rows << (rows == 1 ? " row" : " rows") << " imported\n";
  return 0;
}

}  // namespace katalog::isamtool
