// isamtool import: appends the rows of a CSV or JSON file to a table, one posted record per row,
// in update batches.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dataset/DatabaseError.h"
#include "dataset/Field.h"
#include "engine/components/IsamTable.h"
#include "engine/index/IndexFile.h"
#include "engine/storage/IsamError.h"
#include "engine/table/DataFile.h"
#include "tools/isamtool/Commands.h"
#include "tools/isamtool/Csv.h"
#include "tools/isamtool/Encoding.h"
#include "tools/isamtool/Interruption.h"
#include "tools/isamtool/JsonRows.h"
#include "tools/isamtool/TablePath.h"
#include "tools/isamtool/ValueText.h"

namespace katalog::isamtool {

namespace {

constexpr std::int64_t kProgressStep = 10000;
// Rows are written in batches: the table is locked from a batch's first row to its end, and its
// files are written at the end. The engine keeps every record of a batch locked, so a batch
// stays short.
constexpr std::int64_t kBatchRows = 500;
// The longest value a message quotes whole.
constexpr std::size_t kQuotedValue = 60;

struct TColumn {
  std::string Name;  // in UTF-8, for messages
  TField* Field;
  TValueKind Kind;
};

// A row's value for one column: whether the row gives the column, and its text (none: null).
struct TCell {
  bool Given = false;
  std::optional<std::string> Text;
};

// A row whose fields do not match the header's; the message gets the row's line.
class TRowShapeError : public TInputError {
 public:
  using TInputError::TInputError;
};

// Where rows come from, CSV or JSON, and where the reading stands.
struct TRowSource {
  std::function<bool(std::vector<TCell>&)> Next;  // false at the end
  std::function<std::int64_t()> Line;             // on which the row last read starts
  std::function<std::uint64_t()> BytesRead;
  bool Base64 = false;  // bytes and blobs: base64 (JSON) or hex (CSV)
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

// The columns of the file: a header row's names, or the keys of JSON objects as they come.
// Every fault of a header row is found before anything is written.
class TColumns {
 public:
  TColumns(TIsamTable& table, const TTextCodec& codec, const TImportOptions& options)
      : table_(table), codec_(codec), options_(options) {}

  const std::vector<TColumn>& All() const { return columns_; }

  // The header row; raises for an empty or doubled name, a type isamtool cannot write, and
  // (all together) the names the table does not have.
  void AddHeader(const std::vector<std::string>& names) {
    std::vector<std::string> unknown;
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (!Add(names[i], "header, column " + std::to_string(i + 1) + ": ")) {
        unknown.push_back(Quoted(Utf8Of(names[i], codec_.Outside())));
      }
    }
    if (!unknown.empty()) RaiseUnknown(unknown, "nothing was imported");
  }

  // The column of a JSON key, added when first seen; keys that name the same field (in another
  // letter case) share it.
  std::size_t ColumnOf(const std::string& key, const std::string& where) {
    if (TField* field = FieldOf(Trimmed(key))) {
      for (std::size_t i = 0; i < columns_.size(); ++i) {
        if (columns_[i].Field == field) return i;
      }
    }
    if (!Add(key, where)) RaiseUnknown({Quoted(key)}, where.substr(0, where.size() - 2));
    return columns_.size() - 1;
  }

 private:
  static std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? ""
                                      : text.substr(first, text.find_last_not_of(' ') + 1 - first);
  }
  // The field a name in the file's encoding names, or nullptr.
  TField* FieldOf(const std::string& name) const {
    try {
      return table_.TryFieldNamed(codec_.ToTable(name));
    } catch (const TEncodingError&) {
      return nullptr;
    }
  }

  // False when the table has no field of the name.
  bool Add(const std::string& text, const std::string& where) {
    const std::string name = Trimmed(text);
    if (name.empty()) throw std::runtime_error(where + "the field name is empty");
    TField* field = FieldOf(name);
    if (!field) return false;
    const std::string shown = Utf8Of(name, codec_.Outside());
    for (const TColumn& column : columns_) {
      if (column.Field == field)
        throw std::runtime_error(where + Quoted(shown) + " is named twice");
    }
    const TValueKind kind = KindOf(*field);
    if (kind == TValueKind::Other) {
      throw std::runtime_error(where + "field " + Quoted(shown) +
                               " is of a type isamtool cannot write");
    }
    if (kind == TValueKind::AutoInc && !options_.KeepIds && !options_.Quiet) {
      std::cerr << "isamtool import: " << Quoted(shown)
                << " is an autoincrement field: the table numbers the records and the file's "
                   "values are ignored (--keep-ids keeps them)\n";
    }
    columns_.push_back({shown, field, kind});
    return true;
  }

  [[noreturn]] void RaiseUnknown(const std::vector<std::string>& names, const std::string& what) {
    const TTextCodec tableToUtf8(TableCodePage(table_), TEncoding::Utf8);
    std::string list, known;
    for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
    for (TField* field : table_.Fields()) {
      known += (known.empty() ? "" : ", ") + tableToUtf8.FromTable(field->FieldName());
    }
    throw std::runtime_error("the table has no field " + list + " (" + what +
                             "; its fields: " + known + ")");
  }

  TIsamTable& table_;
  const TTextCodec& codec_;
  const TImportOptions& options_;
  std::vector<TColumn> columns_;
};

// CSV rows after the header: every column given; an empty field, or one that is the null token
// and not quoted, is null.
TRowSource CsvRows(TCsvReader& reader, const std::optional<std::string>& nullToken,
                   const std::size_t& columnCount) {
  auto cells = std::make_shared<std::vector<std::string>>();
  auto quoted = std::make_shared<std::vector<bool>>();
  TRowSource source;
  source.Next = [&reader, &nullToken, &columnCount, cells, quoted](std::vector<TCell>& row) {
    for (;;) {
      if (!reader.Next(*cells, quoted.get())) return false;
      if (cells->size() == 1 && (*cells)[0].empty() && columnCount > 1) continue;  // a blank line
      if (cells->size() != columnCount) {
        throw TRowShapeError("it has " + std::to_string(cells->size()) +
                             " fields; the header names " + std::to_string(columnCount));
      }
      row.assign(columnCount, TCell{});
      for (std::size_t i = 0; i < columnCount; ++i) {
        std::string& text = (*cells)[i];
        const bool null = text.empty() || (!(*quoted)[i] && nullToken && text == *nullToken);
        row[i] = {true, null ? std::nullopt : std::optional<std::string>(std::move(text))};
      }
      return true;
    }
  };
  source.Line = [&reader] { return reader.Line(); };
  source.BytesRead = [&reader] { return reader.BytesRead(); };
  return source;
}

// JSON objects: the keys name the columns; a key an object leaves out is not given.
TRowSource JsonRows(TJsonRowReader& reader, TColumns& columns) {
  TRowSource source;
  auto members = std::make_shared<TJsonMembers>();
  source.Next = [&reader, &columns, members](std::vector<TCell>& row) {
    if (!reader.Next(*members)) return false;
    row.assign(columns.All().size(), TCell{});
    const std::string where = "line " + std::to_string(reader.Line()) + ": ";
    for (auto& [key, text] : *members) {
      const std::size_t i = columns.ColumnOf(key, where);
      if (i >= row.size()) row.resize(i + 1);
      if (row[i].Given) throw TInputError(where + "the object names " + Quoted(key) + " twice");
      row[i] = {true, std::move(text)};
    }
    return true;
  };
  source.Line = [&reader] { return reader.Line(); };
  source.BytesRead = [&reader] { return reader.BytesRead(); };
  source.Base64 = true;
  return source;
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

// An error's message in UTF-8: the engine's and the data set's are program texts.
// A value text's own errors quote it in the file's encoding.
std::string MessageOf(const std::exception& e, TEncoding file = TEncoding::Utf8) {
  const bool programText = dynamic_cast<const EDatabaseError*>(&e) ||
                           dynamic_cast<const EConvertError*>(&e) ||
                           dynamic_cast<const EOverflow*>(&e);
  if (programText) return Utf8Of(e.what(), TEncoding::Cp1250);
  return dynamic_cast<const TValueError*>(&e) ? ShownText(e.what(), file) : e.what();
}

// A value that failed, with its column and value named.
class TCellError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string QuotedValue(const std::string& value) {
  return "'" + (value.size() > kQuotedValue ? value.substr(0, kQuotedValue) + "..." : value) + "'";
}

// Appends one row; a failing value names its column and the value.
void AppendRow(TIsamTable& table, const TTextCodec& codec, const std::vector<TColumn>& columns,
               const std::vector<TCell>& cells, const TRowSource& source, bool keepIds) {
  table.Append();
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const TColumn& column = columns[i];
    const TCell& cell = cells[i];
    if (!cell.Given || (column.Kind == TValueKind::AutoInc && !keepIds)) continue;
    try {
      if (!cell.Text) {
        column.Field->Clear();
      } else if (IsTextKind(column.Kind)) {
        SetFieldValueText(*column.Field, column.Kind, codec.ToTable(*cell.Text));
      } else if (IsBinaryKind(column.Kind)) {
        SetFieldValueText(*column.Field, column.Kind,
                          source.Base64 ? BytesOfBase64(*cell.Text) : BytesOfHex(*cell.Text));
      } else if (column.Kind == TValueKind::AutoInc) {
        SetFieldValueText(*column.Field, TValueKind::Integer, *cell.Text);
      } else {
        SetFieldValueText(*column.Field, column.Kind, *cell.Text);
      }
    } catch (const std::exception& e) {
      const std::string message = MessageOf(e, codec.Outside());
      const std::string value =
          cell.Text ? QuotedValue(ShownText(*cell.Text, codec.Outside())) : "null";
      throw TCellError("column " + Quoted(column.Name) +
                       (message.find(value) == std::string::npos ? ", value " + value : "") + ": " +
                       message);
    }
  }
  table.Post();
}

// For a duplicate key: the index's key values in the row, "key (A, 1)", or nothing.
std::string DuplicateKey(TIsamTable& table, const std::vector<TColumn>& columns,
                         const std::vector<TCell>& cells, TEncoding outside,
                         const std::exception& e) {
  const auto* engine = dynamic_cast<const EIsamEngineError*>(&e);
  if (!engine || engine->ErrorCode() != ie::kDuplicateKey) return "";
  const std::string message = e.what();
  const TIndexFile& indexes = table.Engine()->IndexFile();
  for (int slot = 0; slot <= indexes.SecondaryCount(); ++slot) {
    const TIndexDescriptor& index = indexes.Descriptor(slot);
    const std::string name = slot == 0 ? std::string(kPrimaryIndexName) : index.Name;
    if (index.FieldCount == 0 || message.find("index " + name + " of") == std::string::npos) {
      continue;
    }
    std::string key;
    for (int k = 0; k < index.FieldCount; ++k) {
      std::string value = "null";
      for (std::size_t i = 0; i < cells.size(); ++i) {
        if (columns[i].Field->FieldNo() == index.FieldNumbers[static_cast<std::size_t>(k)] &&
            cells[i].Text) {
          value = QuotedValue(ShownText(*cells[i].Text, outside));
        }
      }
      key += (k ? ", " : "") + value;
    }
    return "; its key (" + key + ") is in the table already";
  }
  return "";
}

// "N rows", "1 row".
std::string Rows(std::int64_t n) {
  return std::to_string(n) + (n == 1 ? " row" : " rows");
}

// Tells how far an interrupted import got and how to import the rest: `rows` went in after the
// `skip` rows left out.
void ReportInterruption(const TInterruption& interruption, const std::string& path,
                        std::int64_t skip, std::int64_t rows, bool complete) {
  const std::string named = path == "-" ? "the input" : path;
  std::cerr << "isamtool import: interrupted by " << interruption.SignalName() << ": " << Rows(rows)
            << " imported";
  if (complete) {
    std::cerr << ", all of " << named << ".\n";
  } else if (skip + rows == 0) {
    std::cerr << "; the same command imports " << named << " from its beginning.\n";
  } else {
    std::cerr << "; the same command with --skip " << skip + rows << " imports the rest.\n";
  }
}

}  // namespace

int RunImport(const TImportOptions& options) {
  const std::string& path = options.File;
  const bool json = options.Format == "json";
  if (json &&
      (options.Encoding != TEncoding::Utf8 || options.Csv.Null || options.Csv.Delimiter != '\0')) {
    throw TUsageError("--encoding, --delimiter and --null apply to --format csv only");
  }
  std::optional<std::string> nullToken = options.Csv.Null;
  if (nullToken && !IsCsvNullToken(*nullToken)) {
    throw TUsageError("--null: a token cannot hold a delimiter, a quote or a line break");
  }
  if (nullToken && options.Encoding == TEncoding::Cp1250) {
    try {  // compared with the file's bytes
      *nullToken = TTextCodec(1250, TEncoding::Utf8).ToTable(*nullToken);
    } catch (const TEncodingError& e) {
      throw TUsageError(std::string("--null: ") + e.what());
    }
  }
  const auto input = OpenInput(path);

  // Made before the table, so that the table is closed before the handlers go.
  const TInterruption interruption;
  TIsamTable table(nullptr);
  OpenTable(table, options.Table, false);
  if (table.ReadOnly()) throw std::runtime_error(options.Table.Table + " is read-only");
  const TTextCodec codec(TableCodePage(table), json ? TEncoding::Utf8 : options.Encoding);
  TColumns columns(table, codec, options);
  std::size_t columnCount = 0;
  TCsvReader csv(input.get(), options.Csv.Delimiter);
  TJsonRowReader jsonReader(input.get());
  TRowSource source;
  if (json) {
    source = JsonRows(jsonReader, columns);
  } else {
    if (options.Encoding == TEncoding::Utf8) csv.SkipByteOrderMark();
    if (options.Csv.Delimiter == '\0') csv.DetectDelimiter();
    std::vector<std::string> names;
    bool header = false;
    try {
      header = csv.Next(names);
    } catch (const TInputError&) {
      if (!interruption.Signal()) throw;  // else the signal cut the read short
    }
    if (interruption.Signal()) {  // nothing is written: the whole input is the rest
      table.Close();
      ReportInterruption(interruption, path, options.Skip, 0, false);
      return interruption.ExitStatus();
    }
    if (!header) throw std::runtime_error(path + " is empty: its first row must name the fields");
    columns.AddHeader(names);
    columnCount = columns.All().size();
    source = CsvRows(csv, nullToken, columnCount);
  }
  if (options.KeepIds) table.Engine()->SetKeepRecordIds(true);

  TProgress progress(input.get(), options.Quiet);
  std::int64_t rows = 0;     // imported
  std::int64_t skipped = 0;  // left out by --skip
  bool complete = false;
  std::vector<TCell> cells;
  table.Engine()->BeginBatch();
  try {
    // A signal is looked at between rows: the row being appended is posted, the batch it
    // belongs to written below. A row read while the signal came is not appended: the signal
    // may have cut the input short (a pipe whose writer the same Ctrl-C ended looks at its end),
    // so that the row, or the end of the input, may be false.
    while (!interruption.Signal()) {
      std::string where = "row " + std::to_string(skipped + rows + 1);
      try {
        const bool read = source.Next(cells);
        if (interruption.Signal()) break;
        if (!read) {
          complete = true;
          break;
        }
        if (skipped < options.Skip) {
          ++skipped;
          continue;
        }
        where += " (line " + std::to_string(source.Line()) + ")";
        try {
          AppendRow(table, codec, columns.All(), cells, source, options.KeepIds);
        } catch (const TCellError&) {
          throw;
        } catch (const std::exception& e) {  // the post: a validity check, a duplicate key
          if (table.State() == TDataSetState::Inserting) table.Cancel();
          throw std::runtime_error(MessageOf(e) +
                                   DuplicateKey(table, columns.All(), cells, codec.Outside(), e));
        }
      } catch (const std::exception& e) {
        if (table.State() == TDataSetState::Inserting) table.Cancel();
        // A read of the input that the signal cut short is no fault of the row; the row is not
        // imported and the report below names where the rest begins. An engine error stays an
        // error.
        if (interruption.Signal() && dynamic_cast<const TInputError*>(&e)) break;
        if (dynamic_cast<const TRowShapeError*>(&e)) {
          where += " (line " + std::to_string(source.Line()) + ")";
        }
        const bool cell = dynamic_cast<const TCellError*>(&e) != nullptr;
        throw std::runtime_error(
            where + (cell ? ", " : ": ") + MessageOf(e) + " (" +
            (rows == 1 ? std::string("the row before it was imported")
                       : Rows(rows) + " before it were imported") +
            (options.Skip + rows > 0
                 ? "; --skip " + std::to_string(options.Skip + rows) + " goes on from this row"
                 : "") +
            ")");
      }
      progress.Row(++rows, source.BytesRead());
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
      std::cerr << Printable(e.what()) << "\n";
    }
    throw;
  }
  table.Engine()->EndBatch();
  progress.Done();
  if (interruption.Signal()) {
    table.Close();
    ReportInterruption(interruption, path, options.Skip, rows, complete);
    return interruption.ExitStatus();
  }
  if (json && jsonReader.Empty()) {
    throw std::runtime_error(path + " is empty: it holds no JSON array or object");
  }
  if (skipped < options.Skip) {
    std::cerr << "isamtool import: the input has " << Rows(skipped) << ", all left out by --skip "
              << options.Skip << "\n";
  }
  if (!options.Quiet) std::cerr << Rows(rows) << " imported\n";
  return 0;
}

}  // namespace katalog::isamtool
