// isamtool export: the records of a table as CSV, JSON or SQL on standard output, written one
// record at a time so that a table of any size streams through a small buffer.
#include <unistd.h>

#include <cerrno>
#include <cstdint>
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
#include "tools/isamtool/FilterOption.h"
#include "tools/isamtool/TablePath.h"
#include "tools/isamtool/ValueText.h"

namespace katalog::isamtool {

namespace {

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
             char delimiter, bool header)
      : TWriter(std::move(columns), codec),
        null_(std::move(nullText)),
        delimiter_(delimiter),
        header_(header) {}
  void Begin(std::string& out) override {
    if (!header_) return;
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      if (i) out += delimiter_;
      AppendCsvField(out, columns_[i].Name, delimiter_);
    }
    out += '\n';
  }
  void Record(std::string& out, std::int64_t number) override {
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      const TColumn& column = columns_[i];
      if (i) out += delimiter_;
      const std::optional<std::string> value = FieldValueText(*column.Field, column.Kind);
      if (!value) {
        AppendCsvField(out, null_, delimiter_);
        continue;
      }
      const std::string text = IsTextKind(column.Kind)     ? Text(column, *value, number)
                               : IsBinaryKind(column.Kind) ? HexText(*value)
                                                           : *value;
      AppendCsvField(out, text, delimiter_, text == null_);
    }
    out += '\n';
  }

 private:
  std::string null_;
  char delimiter_;
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
      if (!value) {
        out += "null";
      } else if (kind == TValueKind::Float && !IsFinite(*value)) {
        AppendJsonString(out, *value);  // "inf", "-inf", "nan", the words CSV writes
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
    // Indexes on fields --fields leaves out cannot be copied; said before anything is written.
    TIndexFile& indexes = table_.Engine()->IndexFile();
    for (int slot = 0; slot <= indexes.SecondaryCount(); ++slot) {
      const TIndexDescriptor& index = indexes.Descriptor(slot);
      if (index.FieldCount == 0 || IndexColumns(index)) continue;
      std::cerr << "isamtool export: "
                << (slot == 0 ? std::string("the primary index")
                              : "index \"" + codec_.FromTable(index.Name) + "\"")
                << " is left out: it has a field that is not exported\n";
    }
    if (const auto primary = IndexColumns(indexes.Descriptor(0))) {
      out += ",\n  PRIMARY KEY " + *primary;
    }
    out += "\n);\n";
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
  // The secondary indexes come after the rows: built once over them, they load faster than
  // indexes kept up to date row by row.
  void End(std::string& out) override {
    TIndexFile& indexes = table_.Engine()->IndexFile();
    for (int slot = 1; slot <= indexes.SecondaryCount(); ++slot) {
      const std::optional<std::string> columns = IndexColumns(indexes.Descriptor(slot));
      if (!columns) continue;
      const TIndexDescriptor& index = indexes.Descriptor(slot);
      out += std::string(index.Unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") +
             SqlIdentifier(name_ + "_" + codec_.FromTable(index.Name)) + " ON " +
             SqlIdentifier(name_) + " " + *columns + ";\n";
    }
    out += "COMMIT;\n";
  }

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
  // "(\"A\" COLLATE NOCASE, \"B\" DESC)"; none for an empty slot or an index on a field that
  // is not exported.
  std::optional<std::string> IndexColumns(const TIndexDescriptor& index) const {
    if (index.FieldCount == 0) return std::nullopt;
    std::string list;
    for (int i = 0; i < index.FieldCount; ++i) {
      const auto number = static_cast<int>(index.FieldNumbers[static_cast<std::size_t>(i)]);
      const TColumn* column = nullptr;
      for (const TColumn& c : columns_) {
        if (c.Field->FieldNo() == number) column = &c;
      }
      if (!column) return std::nullopt;
      list += (i ? ", " : "") + SqlIdentifier(column->Name);
      if (index.CaseInsensitive && IsTextKind(column->Kind)) list += " COLLATE NOCASE";
      if (index.Descending || index.FieldDescending[static_cast<std::size_t>(i)]) list += " DESC";
    }
    return "(" + list + ")";
  }

  TIsamTable& table_;
  std::string name_;
};

// The fields to write: those --fields names, in its order, else every field isamtool reads.
std::vector<TColumn> Columns(TIsamTable& table, const TTextCodec& codec,
                             const std::vector<std::string>& names) {
  std::vector<TColumn> columns;
  auto add = [&](TField* field, bool named) {
    const TValueKind kind = KindOf(*field);
    std::string name;
    try {
      name = codec.FromTable(field->FieldName());
    } catch (const TEncodingError& e) {
      throw std::runtime_error("the name of field " + std::to_string(field->FieldNo()) + ": " +
                               e.what());
    }
    if (kind == TValueKind::Other) {
      if (named) throw TUsageError("--fields: \"" + name + "\" is of a type isamtool cannot read");
      std::cerr << "isamtool export: field \"" << name
                << "\" is of a type isamtool cannot read; left out\n";
      return;
    }
    columns.push_back({field, kind, name});
  };
  if (names.empty()) {
    for (TField* field : table.Fields()) add(field, false);
    return columns;
  }
  const TTextCodec fromArguments(TableCodePage(table), TEncoding::Utf8);
  for (const std::string& name : names) {
    TField* field = nullptr;
    try {
      field = table.TryFieldNamed(fromArguments.ToTable(name));
    } catch (const TEncodingError&) {
    }
    if (!field) throw TUsageError("--fields: the table has no field \"" + name + "\"");
    for (const TColumn& column : columns) {
      if (column.Field == field) throw TUsageError("--fields: \"" + name + "\" is named twice");
    }
    add(field, true);
  }
  return columns;
}

}  // namespace

int RunExport(const TExportOptions& options) {
  if (options.Format != "csv") {
    if (options.Csv.Null || options.NoHeader || options.Csv.Delimiter != ',') {
      throw TUsageError("--null, --delimiter and --no-header apply to --format csv only");
    }
    if (options.Encoding != TEncoding::Utf8) {
      throw TUsageError("--format " + options.Format + " is always UTF-8");
    }
  }
  const TTablePath path = SplitTablePath(options.Table.Table);
  TIsamTable table(nullptr);
  OpenTable(table, options.Table, true);
  if (!options.Index.empty()) {
    try {
      table.SetIndexName(TTextCodec(TableCodePage(table), TEncoding::Utf8).ToTable(options.Index));
    } catch (const std::exception& e) {  // no such index, or a name the code page cannot hold
      throw TUsageError("--index: " + Printable(e.what()));
    }
  }
  ApplyFilter(table, options.Filter);
  const TTextCodec codec(TableCodePage(table), options.Encoding);
  const std::vector<TColumn> columns = Columns(table, codec, options.Fields);
  std::unique_ptr<TWriter> writer;
  if (options.Format == "csv") {
    // UTF-8 from the command line to the output's encoding.
    if (!IsCsvNullToken(options.Csv.Null.value_or(""))) {
      throw TUsageError("--null: a token cannot hold a delimiter, a quote or a line break");
    }
    std::string nullText = options.Csv.Null.value_or("");
    try {
      if (options.Encoding != TEncoding::Utf8)
        nullText = TTextCodec(1250, TEncoding::Utf8).ToTable(nullText);
    } catch (const TEncodingError& e) {
      throw TUsageError(std::string("--null: ") + e.what());
    }
    writer = std::make_unique<TCsvWriter>(columns, codec, nullText, options.Csv.Delimiter,
                                          !options.NoHeader);
  } else if (options.Format == "json") {
    writer = std::make_unique<TJsonWriter>(columns, codec);
  } else {
    writer = std::make_unique<TSqlWriter>(columns, codec, table, path.Name);
  }

  const bool progress = !options.Quiet && ::isatty(STDERR_FILENO);
  std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
  std::string out;
  writer->Begin(out);
  std::int64_t count = 0;
  const std::int64_t limit = options.Limit.value_or(INT64_MAX);
  for (table.First(); !table.Eof() && count < limit; table.Next()) {
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
