#include "sqlite/SqlColumns.h"

#include <cmath>
#include <cstdlib>
#include <variant>

#include "engine/table/DataFile.h"
#include "platform/AsciiText.h"
#include "platform/ByteOrder.h"
#include "platform/IsoDateTime.h"
#include "tools/isamtool/Encoding.h"
#include "tools/isamtool/ValueText.h"

namespace katalog::sqlite {

namespace {

std::optional<TColumnKind> KindOf(const TFieldDescriptor& field) {
  switch (field.FieldTypeCode) {
    case ft::kString:
      return TColumnKind::Text;
    case ft::kBlob:
      return field.SubTypeCode == st::kMemo || field.SubTypeCode == st::kFormattedMemo
                 ? TColumnKind::Memo
                 : TColumnKind::Blob;
    case ft::kSmallInt:
    case ft::kInteger:
    case ft::kWord:
    case ft::kLongWord:
      return TColumnKind::Integer;
    case ft::kBoolean:
      return TColumnKind::Boolean;
    case ft::kFloat:
      return TColumnKind::Real;
    case ft::kBcd:
      return TColumnKind::Bcd;
    case ft::kDate:
      return TColumnKind::Date;
    case ft::kTime:
      return TColumnKind::Time;
    case ft::kDateTime:
      return TColumnKind::DateTime;
    case ft::kBytes:
      return TColumnKind::Bytes;
    case ft::kVarBytes:
      return TColumnKind::VarBytes;
    default:
      return std::nullopt;
  }
}

const char* DeclaredType(TColumnKind kind) {
  switch (kind) {
    case TColumnKind::Integer:
    case TColumnKind::Boolean:
      return "INTEGER";
    case TColumnKind::Real:
      return "REAL";
    case TColumnKind::Bcd:
      return "NUMERIC";
    case TColumnKind::Bytes:
    case TColumnKind::VarBytes:
    case TColumnKind::Blob:
      return "BLOB";
    default:
      return "TEXT";
  }
}

void SetText(sqlite3_context* context, std::string_view text) {
  sqlite3_result_text64(context, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// The BCD rule of the header: an INTEGER, a REAL that prints back as the decimal, or TEXT.
void SetBcd(sqlite3_context* context, std::int64_t scaled, int scale) {
  // The engine makes no more than 18 decimals; a damaged descriptor's scale is shown as it reads.
  if (scale > 18) return SetText(context, isamtool::DecimalText(scaled, scale));
  std::int64_t unit = 1;
  for (int i = 0; i < scale; ++i) unit *= 10;
  if (scaled % unit == 0) return sqlite3_result_int64(context, scaled / unit);
  const std::string text = isamtool::DecimalText(scaled, scale);
  int significant = 0;
  bool leading = true;
  for (const char c : text) {
    if (c < '0' || c > '9') continue;
    leading = leading && c == '0';
    if (!leading) ++significant;
  }
  // Trailing zeros of the decimals are not significant (the amount is not whole, so some
  // decimal is not zero and the count stays above zero).
  for (auto c = text.rbegin(); c != text.rend() && *c == '0'; ++c) --significant;
  if (significant <= 15) return sqlite3_result_double(context, std::strtod(text.c_str(), nullptr));
  SetText(context, text);
}

}  // namespace

std::vector<TSqlColumn> ColumnsOf(const TDataFile& file, const isamtool::TTextCodec& codec) {
  std::vector<TSqlColumn> columns;
  for (const TFieldDescriptor& field : file.PhysicalFields()) {
    const std::optional<TColumnKind> kind = KindOf(field);
    if (!kind) continue;
    std::string name = codec.FromTable(field.Name);
    const auto taken = [&](const std::string& candidate) {
      for (const TSqlColumn& c : columns) {
        if (platform::EqualsIgnoringAsciiCase(c.Name, candidate)) return true;
      }
      return false;
    };
    const std::string base = name;
    for (int n = 1; taken(name); ++n) name = base + "_" + std::to_string(n);
    columns.push_back({&field, *kind, std::move(name)});
  }
  return columns;
}

std::string DeclarationOf(const std::vector<TSqlColumn>& columns) {
  std::string sql = "CREATE TABLE x(";
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i) sql += ", ";
    sql += isamtool::SqlIdentifier(columns[i].Name) + " " + DeclaredType(columns[i].Kind);
  }
  return sql + ")";
}

void SetResult(sqlite3_context* context, const TSqlColumn& column, const TFieldValue& value,
               const isamtool::TTextCodec& codec, std::string& buffer) {
  if (std::holds_alternative<std::monostate>(value)) return sqlite3_result_null(context);
  const auto integer = [&] {
    if (const auto* b = std::get_if<bool>(&value)) return std::int64_t{*b};
    const auto* i = std::get_if<std::int64_t>(&value);
    return i ? *i : 0;
  };
  switch (column.Kind) {
    case TColumnKind::Text:
      return SetText(context, codec.FromTableToUtf8(std::get<std::string>(value), buffer));
    case TColumnKind::Integer:
    case TColumnKind::Boolean:
      return sqlite3_result_int64(context, integer());
    case TColumnKind::Real: {
      const double d = std::get<double>(value);
      return std::isnan(d) ? sqlite3_result_null(context) : sqlite3_result_double(context, d);
    }
    case TColumnKind::Bcd:
      return SetBcd(context, std::get<TBcdAmount>(value).Scaled, column.Field->PhysicalScale);
    case TColumnKind::Date:
      return SetText(context, platform::IsoDateToStr(static_cast<std::int32_t>(integer())));
    case TColumnKind::Time:
      return SetText(context, platform::IsoTimeToStr(static_cast<std::int32_t>(integer())));
    case TColumnKind::DateTime:
      return SetText(context, isamtool::DateTimeText(std::get<double>(value)));
    case TColumnKind::Bytes: {
      const std::string& bytes = std::get<std::string>(value);
      return sqlite3_result_blob64(context, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
    }
    case TColumnKind::VarBytes: {
      // Two bytes of length, then the bytes; a length beyond the field is damage: what the field
      // can hold is shown.
      const std::string& bytes = std::get<std::string>(value);
      if (bytes.size() < 2) return sqlite3_result_zeroblob(context, 0);
      const std::size_t length = std::min<std::size_t>(
          LoadU16(reinterpret_cast<const std::uint8_t*>(bytes.data())), bytes.size() - 2);
      return sqlite3_result_blob64(context, bytes.data() + 2, length, SQLITE_TRANSIENT);
    }
    default:
      return sqlite3_result_null(context);  // memos and blobs come through SetBlobResult
  }
}

void SetBlobResult(sqlite3_context* context, const TSqlColumn& column,
                   const std::optional<std::string>& contents, const isamtool::TTextCodec& codec,
                   std::string& buffer) {
  if (!contents) return sqlite3_result_null(context);
  if (column.IsText()) return SetText(context, codec.FromTableToUtf8(*contents, buffer));
  sqlite3_result_blob64(context, contents->data(), contents->size(), SQLITE_TRANSIENT);
}

}  // namespace katalog::sqlite
