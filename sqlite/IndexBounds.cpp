#include "sqlite/IndexBounds.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

#include "engine/table/DataFile.h"
#include "platform/ByteOrder.h"
#include "platform/DateTime.h"
#include "platform/IsoDateTime.h"
#include "tools/isamtool/ValueText.h"

namespace katalog::sqlite {

namespace {

std::string_view TextOf(sqlite3_value* value) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
  if (!text) throw std::bad_alloc();  // not a NULL (those never get here): SQLite had no memory
  const std::string_view whole(text, static_cast<std::size_t>(sqlite3_value_bytes(value)));
  return whole.substr(0, whole.find('\0'));  // the engine's text ends at a zero byte
}

// The values an integer field can hold.
void IntegerDomain(const TFieldDescriptor& field, double& lowest, double& highest) {
  switch (field.FieldTypeCode) {
    case ft::kBoolean:
      lowest = 0, highest = 1;
      break;
    case ft::kSmallInt:
      lowest = -32768, highest = 32767;
      break;
    case ft::kWord:
      lowest = 0, highest = 65535;
      break;
    default:
      lowest = std::numeric_limits<std::int32_t>::min();
      highest = std::numeric_limits<std::int32_t>::max();
      break;
  }
}

}  // namespace

TIndexBounds::TIndexBounds(TDataFile& file, const TQueryPlan& plan, const TSqlColumn& column,
                           sqlite3_value** arguments, const isamtool::TTextCodec& codec)
    : file_(file), column_(column), codec_(codec), context_(file.KeyContextFor(plan.Slot)) {
  fieldSlotLength_ = 1 + context_.Field(0).PhysicalSize;
  const bool text = column.IsText();
  std::vector<std::uint8_t> low, high;
  bool lowInclusive = true, highInclusive = true;
  const auto bound = [&](TSide side, int argument, bool& inclusive) {
    sqlite3_value* value = arguments[argument];
    if (sqlite3_value_type(value) == SQLITE_NULL) {  // a comparison with NULL is never true
      empty_ = true;
      return std::vector<std::uint8_t>{};
    }
    return text ? TextKey(side, value, inclusive) : NarrowingKey(side, value);
  };
  if (plan.Equal >= 0 && text) {
    low = high = bound(TSide::Equal, plan.Equal, lowInclusive);
  } else if (plan.Equal >= 0) {
    low = bound(TSide::Lower, plan.Equal, lowInclusive);
    high = bound(TSide::Upper, plan.Equal, highInclusive);
  } else {
    lowInclusive = plan.LowerInclusive;
    highInclusive = plan.UpperInclusive;
    if (plan.Lower >= 0) low = bound(TSide::Lower, plan.Lower, lowInclusive);
    if (plan.Upper >= 0) high = bound(TSide::Upper, plan.Upper, highInclusive);
  }
  if (empty_) return;
  // Other bounds only narrow: the rows equal to an exclusive one stay for SQLite to judge.
  if (!text) lowInclusive = highInclusive = true;
  const bool textBound = text && (plan.Equal >= 0 || plan.Lower >= 0 || plan.Upper >= 0);
  if (low.empty() && high.empty() && !textBound) return;  // nothing narrows

  const std::size_t length = context_.Index->KeyLength;
  if (!low.empty()) {
    start_ = low;
    FillLow(context_, start_.data(), fieldSlotLength_);
    if (!lowInclusive) excluded_.push_back(low);
  } else {
    // Texts: from the lowest value present, as a null never qualifies.
    start_.assign(length, 0);
    start_[0] = textBound ? 1 : 0;
    FillLow(context_, start_.data(), textBound ? fieldSlotLength_ : 0);
  }
  if (!high.empty()) {
    end_ = high;
    FillHigh(context_, end_.data(), fieldSlotLength_);
    if (!highInclusive) excluded_.push_back(high);
  } else {
    end_.assign(length, 0);
    FillHigh(context_, end_.data(), 0);
  }
  if (CompareKeys(context_, start_.data(), end_.data(), static_cast<int>(length)) > 0) {
    empty_ = true;
  }
}

std::vector<std::uint8_t> TIndexBounds::KeyOf(const TFieldValue& value) {
  std::vector<std::uint8_t> record(file_.WorkingRecordSize());
  file_.BlankRecord(record.data());
  if (column_.Field->IsAutoIncrement()) {
    // The autoincrement field is the record identifier, kept in the slot's header.
    StoreI32(record.data() + kRecordIdOffset,
             static_cast<std::int32_t>(std::get<std::int64_t>(value)));
  } else if (!file_.WriteField(TFieldSet::Physical, column_.Field->FieldNumber, value,
                               record.data())) {
    return {};
  }
  std::vector<std::uint8_t> key(context_.Index->KeyLength);
  BuildKey(context_, record.data(), key.data());
  return key;
}

std::vector<std::uint8_t> TIndexBounds::TextKey(TSide side, sqlite3_value* value, bool& inclusive) {
  std::string text;
  try {
    text = codec_.ToTable(TextOf(value));
  } catch (const isamtool::TEncodingError& e) {
    // No text of the table holds the character: none equals the value.
    if (side == TSide::Equal) {
      empty_ = true;
      return {};
    }
    throw std::runtime_error("a text compared with field \"" + column_.Name +
                             "\" in its index: " + e.what());
  }
  // The engine keeps a text without trailing blanks and at most the field's size long. A value
  // that is not in that form equals no stored text, and the stored texts around it are those
  // around its form: above it, those above the cut value; below it, the cut value too.
  std::string kept = text.substr(0, column_.Field->DeclaredSize);
  kept.erase(kept.find_last_not_of(' ') + 1);
  if (kept != text) {
    if (side == TSide::Equal) {
      empty_ = true;
      return {};
    }
    inclusive = side == TSide::Upper;
  }
  if (kept.empty()) {
    // Above '' lie all texts present; none is '' (a null) or below it.
    if (side != TSide::Lower) {
      empty_ = true;
      return {};
    }
    std::vector<std::uint8_t> present(context_.Index->KeyLength, 0);
    present[0] = 1;
    inclusive = true;
    return present;
  }
  std::vector<std::uint8_t> key = KeyOf(kept);
  if (key.empty()) {
    throw std::runtime_error("a text compared with field \"" + column_.Name + "\" does not fit it");
  }
  return key;
}

std::vector<std::uint8_t> TIndexBounds::NarrowingKey(TSide side, sqlite3_value* value) {
  const bool lower = side == TSide::Lower;
  switch (column_.Kind) {
    case TColumnKind::Integer:
    case TColumnKind::Boolean:
    case TColumnKind::Real:
    case TColumnKind::Bcd: {
      const int type = sqlite3_value_numeric_type(value);
      if (type != SQLITE_INTEGER && type != SQLITE_FLOAT) return {};
      const double number = sqlite3_value_double(value);
      if (std::isnan(number)) return {};
      if (column_.Kind == TColumnKind::Real) return KeyOf(number);
      if (column_.Kind == TColumnKind::Bcd) return BcdKey(lower, value);
      double lowest = 0, highest = 0;
      IntegerDomain(*column_.Field, lowest, highest);
      const double whole = sqlite3_value_type(value) == SQLITE_INTEGER
                               ? static_cast<double>(sqlite3_value_int64(value))
                               : (lower ? std::ceil(number) : std::floor(number));
      if ((lower && whole > highest) || (!lower && whole < lowest)) {
        empty_ = true;
        return {};
      }
      const auto edge = static_cast<std::int64_t>(std::clamp(whole, lowest, highest));
      if (column_.Kind == TColumnKind::Boolean) return KeyOf(edge != 0);
      return KeyOf(edge);
    }
    case TColumnKind::Date:
    case TColumnKind::Time:
    case TColumnKind::DateTime: {
      // SQLite compares the ISO texts; a bound in the same form orders as the values do, and
      // a date alone before every time of that day.
      if (sqlite3_value_type(value) != SQLITE_TEXT) return {};
      const std::string text(TextOf(value));
      std::int32_t day = 0, ms = 0;
      platform::TTimeStamp stamp{};
      if (column_.Kind == TColumnKind::Date) {
        if (platform::TryIsoStrToDate(text, day) && platform::IsoDateToStr(day) == text) {
          return KeyOf(std::int64_t{day});
        }
      } else if (column_.Kind == TColumnKind::Time) {
        if (platform::TryIsoStrToTime(text, ms) && platform::IsoTimeToStr(ms) == text) {
          return KeyOf(std::int64_t{ms});
        }
      } else if (platform::TryIsoStrToDateTime(text, stamp)) {
        const double native = static_cast<double>(stamp.Date) * platform::kMsecsPerDay + stamp.Time;
        if (isamtool::DateTimeText(native) == text || platform::IsoDateToStr(stamp.Date) == text) {
          return KeyOf(native);
        }
      }
      return {};
    }
    default:
      return {};
  }
}

std::vector<std::uint8_t> TIndexBounds::BcdKey(bool lower, sqlite3_value* value) {
  const int scale = column_.Field->PhysicalScale;
  // An amount with decimals may come back as TEXT (SqlColumns.h), which SQLite puts above every
  // number: any of them may pass a lower bound.
  if (lower && scale > 0) return {};
  std::int64_t unit = 1;
  for (int i = 0; i < scale && i < 18; ++i) unit *= 10;
  std::int64_t units = 0;
  if (sqlite3_value_type(value) == SQLITE_INTEGER) {
    if (__builtin_mul_overflow(sqlite3_value_int64(value), unit, &units)) return {};
    return KeyOf(TBcdAmount{units});
  }
  // A REAL: stored amounts print as REALs within 15 digits, so the edge is widened by more than
  // a double's error on either side.
  const long double exact = static_cast<long double>(sqlite3_value_double(value)) * unit;
  if (std::fabs(exact) >= 0x1p52L) return {};
  const long double margin = 2 + std::fabs(exact) * 1e-14L;
  return KeyOf(TBcdAmount{
      static_cast<std::int64_t>(lower ? std::floor(exact - margin) : std::ceil(exact + margin))});
}

bool TIndexBounds::Admits(const std::uint8_t* record) const {
  rowKey_.resize(context_.Index->KeyLength);
  BuildKey(context_, record, rowKey_.data());
  const std::uint8_t* key = rowKey_.data();
  if (!start_.empty() && CompareKeys(context_, key, start_.data(), fieldSlotLength_) < 0) {
    return false;
  }
  if (!end_.empty() && CompareKeys(context_, key, end_.data(), fieldSlotLength_) > 0) {
    return false;
  }
  for (const std::vector<std::uint8_t>& bound : excluded_) {
    if (CompareKeys(context_, key, bound.data(), fieldSlotLength_) == 0) return false;
  }
  return true;
}

}  // namespace katalog::sqlite
