// isamtool export: the records of a table as CSV, JSON or SQL on standard output, written one
// record at a time so that a table of any size streams through a small buffer.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "dataset/Field.h"
#include "engine/components/IsamTable.h"
#include "engine/index/IndexFile.h"
#include "engine/table/DataFile.h"
#include "tools/isamtool/Commands.h"
#include "tools/isamtool/Csv.h"
#include "tools/isamtool/Encoding.h"
#include "tools/isamtool/Options.h"
#include "tools/isamtool/TablePath.h"
#include "tools/isamtool/ValueText.h"

namespace katalog::isamtool {

namespace {

constexpr const char* kHelp =
    "usage: isamtool export TABLE [--format csv|json|sql] [--index NAME] [--filter EXPR]\n"
    "                       [--ignore-case] [--no-partial] [--encoding utf-8|cp1250]\n"
    "                       [--null TEXT] [--no-header] [--password P] [--quiet]\n"
    "\n"
    "Writes the table's records to standard output in the order of its primary index (the\n"
    "physical order without one), or of --index.\n"
    "\n"
    "options:\n"
    "  --format F       csv (the default), json or sql\n"
    "  --index NAME     the order of this secondary index\n"
    "  --filter EXPR    only the records the filter expression lets through:\n"
    "                   Name = 'Ab*' AND NOT Price > 2.5, [Field name] <> NULL (quoted dates,\n"
    "                   times and numbers in the Czech forms, unquoted numbers with '.')\n"
    "  --ignore-case    the filter compares = and <> on text without regard to case\n"
    "  --no-partial     a trailing '*' in a filter constant is an ordinary character\n"
    "  --encoding E     CSV only: utf-8 (the default) or cp1250; JSON and SQL are always UTF-8.\n"
    "                   A character the encoding cannot hold is an error naming the record.\n"
    "  --null TEXT      CSV only: the text of a null value (default: empty); a value that\n"
    "                   equals it is quoted\n"
    "  --no-header      CSV only: no row of field names\n"
    "  --password P     the password of an enciphered table\n"
    "  --quiet          no progress line (on standard error, when it is a terminal and there\n"
    "                   are more than 10 000 records)\n"
    "\n"
    "csv   RFC 4180: a header row of field names, then one row per record ending with LF;\n"
    "      fields holding a comma, a quote, CR or LF are in double quotes, quotes doubled.\n"
    "      Values as below.\n"
    "json  an array of objects, one per record, keys the field names in the table's order: null\n"
    "      as null, numbers and booleans as JSON numbers and booleans, text and memo as strings,\n"
    "      dates and times as strings as below, bytes and other blobs as base64 strings.\n"
    "sql   for SQLite: BEGIN; DROP TABLE IF EXISTS and CREATE TABLE with the fields (INTEGER,\n"
    "      REAL, NUMERIC for bcd, TEXT for text, dates and times, BLOB; NOT NULL where a value is\n"
    "      required) and the primary index as PRIMARY KEY; CREATE [UNIQUE] INDEX \"TABLE_INDEX\"\n"
    "      for the secondary indexes (COLLATE NOCASE when case-insensitive, DESC where\n"
    "      descending); one INSERT per record; COMMIT. Strings in single quotes, bytes as\n"
    "      X'hex', booleans as 1 and 0. Validity checks and defaults are not copied.\n"
    "      isamtool export T --format sql | sqlite3 t.db\n"
    "\n";

constexpr std::int64_t kProgressStep = 10000;

struct TColumn {
  TField* Field;
  TValueKind Kind;
  std::string Name;  // in the output encoding
};

// Hands the text to standard output's buffer and empties it; `flush` writes the buffer out. A
// failed write is an error.
void Write(std::string& text, bool flush = false) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
      (flush && std::fflush(stdout) != 0)) {
    throw std::runtime_error(std::string("cannot write the output: ") + std::strerror(errno));
  }
  text.clear();
}

// Whether a float's text (FloatText) is a finite number rather than "inf", "-inf" or "nan".
bool IsFinite(const std::string& text) {
  return text.find_first_of("in") == std::string::npos;
}

// Writes the records in one format; the command calls Begin, Record for each record, End.
class TWriter {
 public:
  TWriter(std::vector<TColumn> columns, const TTextCodec& codec)
      : columns_(std::move(columns)), codec_(codec) {}
  virtual ~TWriter() = default;
  virtual void Begin(std::string& /*out*/) {}
  virtual void Record(std::string& out, std::int64_t number) = 0;
  virtual void End(std::string& /*out*/) {}

 protected:
  // A text or memo value in the output encoding.
  std::string Text(const TColumn& column, const std::string& value, std::int64_t number) const {
    try {
      return codec_.FromTable(value);
    } catch (const TEncodingError& e) {
      throw std::runtime_error("record " + std::to_string(number) + ", field \"" +
                               Utf8Of(column.Name, codec_.Outside()) + "\": " + e.what());
    }
  }

  std::vector<TColumn> columns_;
  const TTextCodec& codec_;
};

class TCsvWriter : public TWriter {
 public:
  TCsvWriter(std::vector<TColumn> columns, const TTextCodec& codec, std::string nullText,
             bool header)
      : TWriter(std::move(columns), codec), null_(std::move(nullText)), header_(header) {}
  void Begin(std::string& out) override {
    if (!header_) return;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      if (i) out += ',';
      AppendCsvField(out, columns_[i].Name);
    }
    out += '\n';
  }
  void Record(std::string& out, std::int64_t number) override {
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      const TColumn& column = columns_[i];
      if (i) out += ',';
      const std::optional<std::string> value = FieldValueText(*column.Field, column.Kind);
      if (!value) {
        AppendCsvField(out, null_);
        continue;
      }
      const std::string text = IsTextKind(column.Kind)     ? Text(column, *value, number)
                               : IsBinaryKind(column.Kind) ? HexText(*value)
                                                           : *value;
      AppendCsvField(out, text, text == null_);
    }
    out += '\n';
  }

 private:
  std::string null_;
  bool header_;
};

class TJsonWriter : public TWriter {
 public:
  using TWriter::TWriter;
  void Begin(std::string& out) override { out += '['; }
  void Record(std::string& out, std::int64_t number) override {
    out += any_ ? ",\n{" : "\n{";
    any_ = true;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      const TColumn& column = columns_[i];
      if (i) out += ',';
      AppendJsonString(out, column.Name);
      out += ':';
      const std::optional<std::string> value = FieldValueText(*column.Field, column.Kind);
      const TValueKind kind = column.Kind;
      if (!value || (kind == TValueKind::Float && !IsFinite(*value))) {
        out += "null";
      } else if (kind == TValueKind::Integer || kind == TValueKind::AutoInc ||
                 kind == TValueKind::Float || kind == TValueKind::Bcd ||
                 kind == TValueKind::Boolean) {
        out += *value;
      } else if (IsTextKind(kind)) {
        AppendJsonString(out, Text(column, *value, number));
      } else {
        AppendJsonString(out, IsBinaryKind(kind) ? Base64Text(*value) : *value);
      }
    }
    out += '}';
  }
  void End(std::string& out) override { out += any_ ? "\n]\n" : "]\n"; }

 private:
  bool any_ = false;
};

class TSqlWriter : public TWriter {
 public:
  TSqlWriter(std::vector<TColumn> columns, const TTextCodec& codec, TIsamTable& table,
             const std::string& name)
      : TWriter(std::move(columns), codec), table_(table), name_(name) {}
  void Begin(std::string& out) override {
    const std::string table = SqlIdentifier(name_);
    out += "BEGIN;\nDROP TABLE IF EXISTS " + table + ";\nCREATE TABLE " + table + " (";
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      out +=
          (i ? ",\n  " : "\n  ") + SqlIdentifier(columns_[i].Name) + " " + Type(columns_[i].Kind);
      if (columns_[i].Field->Required()) out += " NOT NULL";
    }
    TIndexFile& indexes = table_.Engine()->IndexFile();
    if (indexes.Descriptor(0).FieldCount > 0)
      out += ",\n  PRIMARY KEY " + IndexColumns(indexes.Descriptor(0));
    out += "\n);\n";
    for (int slot = 1; slot <= indexes.SecondaryCount(); ++slot) {
      const TIndexDescriptor& index = indexes.Descriptor(slot);
      if (index.FieldCount == 0) continue;
      out += std::string(index.Unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
             SqlIdentifier(name_ + "_" + codec_.FromTable(index.Name)) + " ON " + table + " " +
             IndexColumns(index) + ";\n";
    }
  }
  void Record(std::string& out, std::int64_t number) override {
    out += "INSERT INTO " + SqlIdentifier(name_) + " VALUES(";
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      const TColumn& column = columns_[i];
      if (i) out += ',';
      const std::optional<std::string> value = FieldValueText(*column.Field, column.Kind);
      const bool nonFinite = value && column.Kind == TValueKind::Float && !IsFinite(*value);
      if (!value || (nonFinite && *value == "nan")) {
        out += "NULL";
      } else if (nonFinite) {
        out += *value == "inf" ? "9e999" : "-9e999";
      } else if (column.Kind == TValueKind::Boolean) {
        out += *value == "true" ? '1' : '0';
      } else if (IsTextKind(column.Kind)) {
        AppendSqlString(out, Text(column, *value, number));
      } else if (IsBinaryKind(column.Kind)) {
        out += "X'" + HexText(*value) + "'";
      } else if (column.Kind == TValueKind::Date || column.Kind == TValueKind::Time ||
                 column.Kind == TValueKind::DateTime) {
        AppendSqlString(out, *value);
      } else {
        out += *value;
      }
    }
    out += ");\n";
  }
  void End(std::string& out) override { out += "COMMIT;\n"; }

 private:
  static const char* Type(TValueKind kind) {
    switch (kind) {
      case TValueKind::Integer:
      case TValueKind::AutoInc:
      case TValueKind::Boolean:
        return "INTEGER";
      case TValueKind::Float:
        return "REAL";
      case TValueKind::Bcd:
        return "NUMERIC";
      case TValueKind::Bytes:
      case TValueKind::Blob:
        return "BLOB";
      default:
        return "TEXT";
    }
  }
  // "(\"A\" COLLATE NOCASE, \"B\" DESC)"
  std::string IndexColumns(const TIndexDescriptor& index) const {
    std::string list;
    for (int i = 0; i < index.FieldCount; ++i) {
      const auto number = static_cast<int>(index.FieldNumbers[static_cast<std::size_t>(i)]);
      const TColumn* column = nullptr;
      for (const TColumn& c : columns_) {
        if (c.Field->FieldNo() == number) column = &c;
      }
      if (!column)
        throw std::runtime_error("index " + index.Name + " names a field that is not exported");
      list += (i ? ", " : "") + SqlIdentifier(column->Name);
      if (index.CaseInsensitive && IsTextKind(column->Kind)) list += " COLLATE NOCASE";
      if (index.Descending || index.FieldDescending[static_cast<std::size_t>(i)]) list += " DESC";
    }
    return "(" + list + ")";
  }

  TIsamTable& table_;
  std::string name_;
};

}  // namespace

int RunExport(const TArgs& args) {
  const TOptions options(args,
                         {{"--ignore-case", "--no-partial", "--no-header", "--quiet"},
                          {"--format", "--index", "--filter", "--encoding", "--null", "--password"},
                          1,
                          1});
  if (options.Help()) {
    std::cout << kHelp << kValueFormatsHelp;
    return 0;
  }
  const std::string format = options.Choice("--format", {"csv", "json", "sql"}, "csv");
  const TEncoding encoding =
      EncodingNamed(options.Choice("--encoding", {"utf-8", "cp1250"}, "utf-8"));
  if (format != "csv") {
    for (const char* csvOnly : {"--null", "--no-header"}) {
      if (options.Has(csvOnly) || options.Flag(csvOnly)) {
        throw TUsageError(std::string("option ") + csvOnly + " applies to --format csv only");
      }
    }
    if (encoding != TEncoding::Utf8) throw TUsageError("--format " + format + " is always UTF-8");
  }
  const TTablePath path = SplitTablePath(options.Args()[0]);
  TIsamTable table(nullptr);
  OpenTable(table, path, options.Value("--password"), true);
  const TTextCodec fromArguments(TableCodePage(table), TEncoding::Utf8);
  auto argument = [&](const char* name) {
    try {
      return fromArguments.ToTable(options.Value(name));
    } catch (const TEncodingError& e) {
      throw TUsageError(std::string("option ") + name + ": " + e.what());
    }
  };
  if (options.Has("--index")) table.SetIndexName(argument("--index"));
  if (options.Has("--filter")) {
    table.SetFilterOptions((options.Flag("--ignore-case") ? foCaseInsensitive : 0u) |
                           (options.Flag("--no-partial") ? foNoPartialCompare : 0u));
    table.SetFilterText(argument("--filter"));
    table.SetFiltered(true);
  }

  const TTextCodec codec(TableCodePage(table), encoding);
  std::vector<TColumn> columns;
  for (TField* field : table.Fields()) {
    const TValueKind kind = KindOf(*field);
    std::string name;
    try {
      name = codec.FromTable(field->FieldName());
    } catch (const TEncodingError& e) {
      throw std::runtime_error("the name of field " + std::to_string(field->FieldNo()) + ": " +
                               e.what());
    }
    if (kind == TValueKind::Other) {
      std::cerr << "isamtool export: field \"" << name
                << "\" is of a type isamtool cannot read; left out\n";
      continue;
    }
    columns.push_back({field, kind, name});
  }
  std::unique_ptr<TWriter> writer;
  if (format == "csv") {
    // UTF-8 from the command line to the output's encoding.
    std::string nullText = options.Value("--null");
    try {
      if (encoding != TEncoding::Utf8)
        nullText = TTextCodec(1250, TEncoding::Utf8).ToTable(nullText);
    } catch (const TEncodingError& e) {
      throw TUsageError(std::string("option --null: ") + e.what());
    }
    writer = std::make_unique<TCsvWriter>(columns, codec, nullText, !options.Flag("--no-header"));
  } else if (format == "json") {
    writer = std::make_unique<TJsonWriter>(columns, codec);
  } else {
    writer = std::make_unique<TSqlWriter>(columns, codec, table, path.Name);
  }

  const bool progress = !options.Flag("--quiet") && ::isatty(STDERR_FILENO);
  std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
  std::string out;
  writer->Begin(out);
  std::int64_t count = 0;
  for (table.First(); !table.Eof(); table.Next()) {
    writer->Record(out, ++count);
    Write(out);
    if (progress && count % kProgressStep == 0) {
      std::cerr << "\rexporting: " << count << " records" << std::flush;
    }
  }
  writer->End(out);
  Write(out, true);
  if (progress && count >= kProgressStep) std::cerr << "\r" << count << " records exported\n";
  return 0;
}

}  // namespace katalog::isamtool
