#include "engine/index/FilterEvaluator.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/AsciiText.h"
#include "platform/ByteOrder.h"
#include "platform/DateTime.h"
#include "platform/Locale.h"

namespace katalog {

using namespace platform;

namespace {

constexpr std::uint8_t kString = 1, kDate = 2, kBoolean = 4, kSmallInt = 5, kInteger = 6,
                       kFloat = 7, kBcd = 8, kTime = 10, kDateTime = 11, kWord = 12;
constexpr double kMsPerDay = 86'400'000.0;

bool IsIntegerKind(std::uint8_t t) {
  return t == kSmallInt || t == kInteger || t == kWord;
}
bool IsNumber(std::uint8_t t) {
  return IsIntegerKind(t) || t == kFloat || t == kBcd;
}

TFilterValue Boolean(bool value) {
  TFilterValue v;
  v.Type = kBoolean;
  v.Null = false;
  v.Integer = value ? 1 : 0;
  return v;
}

TFilterValue Integer(std::uint8_t type, std::int64_t value) {
  TFilterValue v;
  v.Type = type;
  v.Null = false;
  v.Integer = value;
  return v;
}

TFilterValue Float(std::uint8_t type, double value) {
  TFilterValue v;
  v.Type = type;
  v.Null = false;
  v.Float = value;
  return v;
}

bool Truthy(const TFilterValue& v) {
  if (v.Null) return false;
  return v.Type == kFloat || v.Type == kDateTime ? v.Float != 0 : v.Integer != 0;
}

double AsDouble(const TFilterValue& v) {
  if (v.Type == kFloat || v.Type == kDateTime) return v.Float;
  if (v.Type == kBcd) return static_cast<double>(v.Integer) / 1e4;
  return static_cast<double>(v.Integer);
}

// The largest BCD amount the evaluator holds either way: the range is kept symmetric, so that
// negating an amount always fits.
constexpr std::int64_t kMaxAmount = INT64_MAX;

// A BCD amount rounded, half away from zero, to `decimals` digits (of its 4). At the ends of the
// range, where rounding away from zero would leave it, the amount is cut instead.
std::int64_t RoundAmount(std::int64_t amount, int decimals) {
  if (decimals >= 4) return amount;
  std::int64_t unit = 1;
  for (int i = decimals; i < 4; ++i) unit *= 10;
  const std::int64_t rest = amount % unit;
  std::int64_t rounded = amount - rest;
  if (2 * (rest < 0 ? -rest : rest) >= unit &&
      !__builtin_add_overflow(rounded, rest < 0 ? -unit : unit, &rounded)) {
    return rounded;
  }
  return amount - rest;
}

// value / divisor (divisor > 0), rounded half away from zero.
__extension__ typedef __int128 TWide;
TWide DivideRounded(TWide value, TWide divisor) {
  const TWide rest = value % divisor;
  TWide quotient = value / divisor;
  if (2 * (rest < 0 ? -rest : rest) >= divisor) quotient += rest < 0 ? -1 : 1;
  return quotient;
}

// BCD arithmetic with a BCD or an integer kind, exactly, in units of 1/10 000: a product or a
// quotient is rounded once to those units (half away from zero). False when the result leaves
// the range of amounts.
bool AmountArithmetic(int op, const TFilterValue& a, const TFilterValue& b, std::int64_t& out) {
  constexpr TWide kUnits = 10000;
  // Integer kinds as amounts: whole units.
  const TWide x = a.Type == kBcd ? TWide{a.Integer} : TWide{a.Integer} * kUnits;
  const TWide y = b.Type == kBcd ? TWide{b.Integer} : TWide{b.Integer} * kUnits;
  TWide r = 0;
  switch (op) {
    case fo::kAdd:
      r = x + y;
      break;
    case fo::kSubtract:
      r = x - y;
      break;
    case fo::kMultiply:
      r = DivideRounded(x * y, kUnits);
      break;
    default:  // a quotient; the caller has refused a divisor of 0
      r = y < 0 ? DivideRounded(-x * kUnits, -y) : DivideRounded(x * kUnits, y);
      break;
  }
  if (r > kMaxAmount || r < -kMaxAmount) return false;
  out = static_cast<std::int64_t>(r);
  return true;
}

// -1, 0 or 1 for two values of comparable types; `comparable` false when they are not.
int CompareValues(const TFilterValue& a, const TFilterValue& b, std::uint32_t localeId,
                  bool& comparable) {
  comparable = true;
  auto order = [](auto x, auto y) { return x < y ? -1 : x > y ? 1 : 0; };
  if (a.Type == kString && b.Type == kString) {
    return CompareFilterStrings(a.Text, b.Text, false, 0, localeId);
  }
  if (IsNumber(a.Type) && IsNumber(b.Type)) {
    if (a.Type == kBcd || b.Type == kBcd) {
      if (a.Type == kFloat || b.Type == kFloat) return order(AsDouble(a), AsDouble(b));
      const TWide x = a.Type == kBcd ? TWide{a.Integer} : TWide{a.Integer} * 10000;
      const TWide y = b.Type == kBcd ? TWide{b.Integer} : TWide{b.Integer} * 10000;
      return order(x, y);
    }
    if (a.Type == kFloat || b.Type == kFloat) return order(AsDouble(a), AsDouble(b));
    return order(a.Integer, b.Integer);
  }
  if (a.Type == b.Type && (a.Type == kDate || a.Type == kTime)) return order(a.Integer, b.Integer);
  if (a.Type == kDateTime && b.Type == kDateTime) return order(a.Float, b.Float);
  if (a.Type == kDate && b.Type == kDateTime) return order(double(a.Integer) * kMsPerDay, b.Float);
  if (a.Type == kDateTime && b.Type == kDate) return order(a.Float, double(b.Integer) * kMsPerDay);
  if (a.Type == kBoolean && b.Type == kBoolean) return order(a.Integer != 0, b.Integer != 0);
  comparable = false;
  return 0;
}

TFilterValue Comparison(int op, const TFilterValue& a, const TFilterValue& b,
                        std::uint32_t localeId) {
  const bool aNull = a.Null || a.Type == 0;
  const bool bNull = b.Null || b.Type == 0;
  if (aNull || bNull) {
    if (op == fo::kEqual) return Boolean(aNull && bNull);
    if (op == fo::kNotEqual) return Boolean(aNull != bNull);
    return Boolean(false);
  }
  bool comparable = false;
  const int c = CompareValues(a, b, localeId, comparable);
  if (!comparable) return Boolean(false);
  switch (op) {
    case fo::kEqual:
      return Boolean(c == 0);
    case fo::kNotEqual:
      return Boolean(c != 0);
    case fo::kGreater:
      return Boolean(c > 0);
    case fo::kLess:
      return Boolean(c < 0);
    case fo::kGreaterEqual:
      return Boolean(c >= 0);
    default:
      return Boolean(c <= 0);
  }
}

TFilterValue Arithmetic(int op, const TFilterValue& a, const TFilterValue& b) {
  if (a.Null || b.Null) return {};
  if (op == fo::kAdd && a.Type == kString && b.Type == kString) {
    TFilterValue v;
    v.Type = kString;
    v.Null = false;
    v.Text = a.Text + b.Text;
    return v;
  }
  if (IsNumber(a.Type) && IsNumber(b.Type)) {
    const bool bcd = a.Type == kBcd || b.Type == kBcd;
    if (op == fo::kDivide && (b.Type == kFloat ? b.Float == 0 : b.Integer == 0)) return {};
    if (a.Type == kFloat || b.Type == kFloat || (op == fo::kDivide && !bcd)) {
      const double x = AsDouble(a), y = AsDouble(b);
      const double r = op == fo::kAdd        ? x + y
                       : op == fo::kSubtract ? x - y
                       : op == fo::kMultiply ? x * y
                                             : x / y;
      return Float(kFloat, r);
    }
    if (bcd) {
      // Exact in units of 1/10 000; a result beyond the amounts has no value.
      const int decimals = a.Type == kBcd ? a.Decimals : b.Decimals;
      std::int64_t amount = 0;
      if (!AmountArithmetic(op, a, b, amount)) return {};
      TFilterValue v = Integer(kBcd, RoundAmount(amount, decimals));
      v.Decimals = static_cast<std::uint8_t>(decimals);
      return v;
    }
    const std::int64_t r = op == fo::kAdd        ? a.Integer + b.Integer
                           : op == fo::kSubtract ? a.Integer - b.Integer
                                                 : a.Integer * b.Integer;
    return Integer(kInteger, static_cast<std::int32_t>(r));
  }
  const bool addOrSubtract = op == fo::kAdd || op == fo::kSubtract;
  const int sign = op == fo::kSubtract ? -1 : 1;
  if (addOrSubtract && (a.Type == kDate || a.Type == kTime) && IsIntegerKind(b.Type)) {
    return Integer(a.Type, static_cast<std::int32_t>(a.Integer + sign * b.Integer));
  }
  if (addOrSubtract && a.Type == kDateTime && IsIntegerKind(b.Type)) {
    return Float(kDateTime, a.Float + sign * double(b.Integer) * kMsPerDay);
  }
  if (op != fo::kSubtract) return {};
  if (a.Type == b.Type && (a.Type == kDate || a.Type == kTime)) {
    return Integer(kInteger, static_cast<std::int32_t>(a.Integer - b.Integer));
  }
  if (a.Type == kDateTime && b.Type == kDate) {
    return Integer(kInteger,
                   static_cast<std::int64_t>(std::floor(a.Float / kMsPerDay)) - b.Integer);
  }
  if (a.Type == kDateTime && b.Type == kTime) {
    const double timePart = a.Float - std::floor(a.Float / kMsPerDay) * kMsPerDay;
    return Integer(kInteger, static_cast<std::int64_t>(timePart) - b.Integer);
  }
  if (a.Type == kDateTime && b.Type == kDateTime) return Float(kFloat, a.Float - b.Float);
  return {};
}

bool Like(const std::string& text, const std::string& pattern, std::size_t t = 0,
          std::size_t p = 0) {
  while (p < pattern.size()) {
    if (pattern[p] == '%') {
      while (p < pattern.size() && pattern[p] == '%') ++p;
      if (p == pattern.size()) return true;
      for (std::size_t k = t; k <= text.size(); ++k) {
        if (Like(text, pattern, k, p)) return true;
      }
      return false;
    }
    if (t == text.size() || (pattern[p] != '_' && pattern[p] != text[t])) return false;
    ++t;
    ++p;
  }
  return t == text.size();
}

TFilterValue Function(const TFilterNode& node, const std::uint8_t* record,
                      const TEvaluationContext& context) {
  TFilterValue arg = node.Left ? Evaluate(*node.Left, record, context) : TFilterValue{};
  if (node.Operator >= fo::kAggregateFirst && node.Operator <= fo::kAggregateLast) return arg;
  if (arg.Null) return {};
  switch (node.Operator) {
    case fo::kUpper:
    case fo::kLower: {
      if (arg.Type != kString) return {};
      const bool upper = node.Operator == fo::kUpper;
      if (context.LocaleId != 0) {
        arg.Text = LCMapStringA(context.LocaleId, upper ? kMapUpperCase : kMapLowerCase,
                                arg.Text.data(), static_cast<int>(arg.Text.size()));
        if (arg.Text.size() > 251) arg.Text.resize(251);
      } else {
        arg.Text = upper ? platform::AsciiUppercased(std::move(arg.Text))
                         : platform::AsciiLowercased(std::move(arg.Text));
      }
      return arg;
    }
    case fo::kSubstring: {
      if (arg.Type != kString || !node.Right) return {};
      const TFilterValue start = Evaluate(*node.Right, record, context);
      std::int64_t length = static_cast<std::int64_t>(arg.Text.size());
      if (node.Right->Right) length = Evaluate(*node.Right->Right, record, context).Integer;
      const std::int64_t from = std::max<std::int64_t>(start.Integer, 1) - 1;
      if (from >= static_cast<std::int64_t>(arg.Text.size()) || length <= 0) {
        arg.Text.clear();
      } else {
        arg.Text =
            arg.Text.substr(static_cast<std::size_t>(from), static_cast<std::size_t>(length));
      }
      return arg;
    }
    case fo::kTrimLeading:
    case fo::kTrimTrailing:
    case fo::kTrimBoth: {
      if (arg.Type != kString) return {};
      char trim = ' ';
      if (node.Right) {
        const TFilterValue what = Evaluate(*node.Right, record, context);
        if (!what.Text.empty()) trim = what.Text[0];
      }
      if (node.Operator != fo::kTrimTrailing) {
        arg.Text.erase(0, arg.Text.find_first_not_of(trim) == std::string::npos
                              ? arg.Text.size()
                              : arg.Text.find_first_not_of(trim));
      }
      if (node.Operator != fo::kTrimLeading) {
        const std::size_t last = arg.Text.find_last_not_of(trim);
        arg.Text.resize(last == std::string::npos ? 0 : last + 1);
      }
      return arg;
    }
    case fo::kYear:
    case fo::kMonth:
    case fo::kDay: {
      std::int32_t day = 0;
      if (arg.Type == kDate) {
        day = static_cast<std::int32_t>(arg.Integer);
      } else if (arg.Type == kDateTime) {
        day = static_cast<std::int32_t>(std::floor(arg.Float / kMsPerDay));
      } else {
        return {};
      }
      int y = 0, m = 0, d = 0;
      DecodeDate(day, y, m, d);
      return Integer(kInteger, node.Operator == fo::kYear    ? y
                               : node.Operator == fo::kMonth ? m
                                                             : d);
    }
    default:
      return {};
  }
}

TFilterValue Extended(const TFilterNode& node, const std::uint8_t* record,
                      const TEvaluationContext& context) {
  if (!node.Left || !node.Right) return Boolean(false);
  const TFilterValue left = Evaluate(*node.Left, record, context);
  bool result = false;
  switch (node.Operator) {
    case fo::kLike:
    case fo::kNotLike: {
      const TFilterValue pattern = Evaluate(*node.Right, record, context);
      result = !left.Null && !pattern.Null && left.Type == kString && pattern.Type == kString &&
               Like(left.Text, pattern.Text);
      return Boolean(node.Operator == fo::kLike ? result : !result);
    }
    case fo::kIn:
    case fo::kNotIn:
      for (const TFilterNode* item = node.Right.get(); item && !result; item = item->Right.get()) {
        result = Truthy(
            Comparison(fo::kEqual, left, Evaluate(*item, record, context), context.LocaleId));
      }
      return Boolean(node.Operator == fo::kIn ? result : !result);
    case fo::kBetween:
    case fo::kNotBetween: {
      const TFilterValue low = Evaluate(*node.Right, record, context);
      result = Truthy(Comparison(fo::kGreaterEqual, left, low, context.LocaleId));
      if (result && node.Right->Right) {
        const TFilterValue high = Evaluate(*node.Right->Right, record, context);
        result = Truthy(Comparison(fo::kLessEqual, left, high, context.LocaleId));
      }
      return Boolean(node.Operator == fo::kBetween ? result : !result);
    }
    default:
      return Boolean(false);
  }
}

}  // namespace

TFilterValue ReadFilterField(const TFieldDescriptor& field, const std::uint8_t* record) {
  TFilterValue v;
  if (field.IsAutoIncrement()) return Integer(kInteger, LoadI32(record + kRecordIdOffset));
  const std::uint8_t* slot = record + field.FieldOffset;
  const std::uint8_t* data = slot + 1;
  v.Type = field.FieldTypeCode == ft::kLongWord ? kInteger : field.FieldTypeCode;
  v.Null = slot[0] == 0;
  switch (field.FieldTypeCode) {
    case ft::kString: {
      const void* end = std::memchr(data, 0, field.PhysicalSize);
      v.Text.assign(reinterpret_cast<const char*>(data),
                    end ? static_cast<const std::uint8_t*>(end) - data : field.PhysicalSize);
      v.Null = v.Null || v.Text.empty();
      break;
    }
    case ft::kDate:
    case ft::kInteger:
    case ft::kLongWord:
    case ft::kTime:
      v.Integer = LoadI32(data);
      break;
    case ft::kBoolean:
      v.Integer = LoadU16(data) != 0;
      break;
    case ft::kSmallInt:
      v.Integer = LoadI16(data);
      break;
    case ft::kWord:
      v.Integer = LoadU16(data);
      break;
    case ft::kFloat:
    case ft::kDateTime:
      v.Float = LoadDouble(data);
      break;
    case ft::kBcd: {
      // Stored as value x 10^scale: brought to units of 1/10 000, rounded once (half away from
      // zero) when the field has more decimals. An amount beyond what those units hold stays at
      // the nearest end, above or below every constant, which are amounts themselves.
      const TWide stored = LoadI64(data);
      const int scale = std::min<int>(field.PhysicalScale, 18);
      TWide unit = 1;
      for (int i = std::min(scale, 4); i < std::max(scale, 4); ++i) unit *= 10;
      const TWide amount = scale <= 4 ? stored * unit : DivideRounded(stored, unit);
      v.Integer = static_cast<std::int64_t>(std::clamp<TWide>(amount, -kMaxAmount, kMaxAmount));
      v.Decimals = field.PhysicalScale;
      break;
    }
    default:
      return {};
  }
  return v;
}

int CompareFilterStrings(const std::string& a, const std::string& b, bool caseInsensitive,
                         int partialLength, std::uint32_t localeId) {
  if (localeId != 0) {
    const int la = partialLength ? std::min<int>(partialLength, static_cast<int>(a.size()))
                                 : static_cast<int>(a.size());
    const int lb = partialLength ? std::min<int>(partialLength, static_cast<int>(b.size()))
                                 : static_cast<int>(b.size());
    // String sort, as the index keys order strings, so that an index and a scan agree.
    const std::uint32_t flags = kSortStringSort | (caseInsensitive ? kNormIgnoreCase : 0);
    return CompareStringA(localeId, flags, a.data(), la, b.data(), lb) - 2;
  }
  const std::string x = caseInsensitive ? platform::AsciiUppercased(a) : a;
  const std::string y = caseInsensitive ? platform::AsciiUppercased(b) : b;
  const std::size_t n =
      partialLength ? static_cast<std::size_t>(partialLength) : std::max(x.size(), y.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto cx = static_cast<unsigned char>(i < x.size() ? x[i] : 0);
    const auto cy = static_cast<unsigned char>(i < y.size() ? y[i] : 0);
    if (cx != cy) return cx < cy ? -1 : 1;
  }
  return 0;
}

// Two texts of printable ASCII are equal under any locale's comparison exactly when their bytes
// are (or, ignoring case, their ASCII letters match): no such locale treats two of these
// characters as one, and only control characters are passed over. That spares the locale's
// comparison for the usual texts of a filter like "Name <> 'x'".
bool FilterStringsEqual(const std::string& a, const std::string& b, bool caseInsensitive,
                        int partialLength, std::uint32_t localeId) {
  const std::size_t la = partialLength ? std::min<std::size_t>(partialLength, a.size()) : a.size();
  const std::size_t lb = partialLength ? std::min<std::size_t>(partialLength, b.size()) : b.size();
  const auto printable = [](const std::string& text, std::size_t length) {
    return std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length),
                       [](char c) { return c >= 0x20 && c < 0x7f; });
  };
  if (localeId == 0 || !printable(a, la) || !printable(b, lb)) {
    return CompareFilterStrings(a, b, caseInsensitive, partialLength, localeId) == 0;
  }
  if (la != lb) return false;
  for (std::size_t i = 0; i < la; ++i) {
    const char x = caseInsensitive ? platform::AsciiUpper(a[i]) : a[i];
    const char y = caseInsensitive ? platform::AsciiUpper(b[i]) : b[i];
    if (x != y) return false;
  }
  return true;
}

TFilterValue Evaluate(const TFilterNode& node, const std::uint8_t* record,
                      const TEvaluationContext& context) {
  switch (node.Class) {
    case fc::kField:
      return ReadFilterField((*context.Fields)[static_cast<std::size_t>(node.FieldNumber - 1)],
                             record);
    case fc::kConstant:
      return node.Value;
    case fc::kUnary: {
      const TFilterValue operand =
          node.Left ? Evaluate(*node.Left, record, context) : TFilterValue{};
      const bool isNull = operand.Null || operand.Type == 0;
      switch (node.Operator) {
        case fo::kIsNull:
          return Boolean(isNull);
        case fo::kIsNotNull:
          return Boolean(!isNull);
        case fo::kNot:
          return Boolean(!Truthy(operand));
        case fo::kNegate: {
          if (isNull) return operand;
          TFilterValue v = operand;
          if (v.Type == kFloat || v.Type == kDateTime) {
            v.Float = -v.Float;
          } else if (v.Type == kBcd) {
            // The one amount without a negative counterpart has no negated value.
            if (v.Integer < -kMaxAmount) return {};
            v.Integer = RoundAmount(-v.Integer, v.Decimals);
          } else if (IsNumber(v.Type) || v.Type == kDate || v.Type == kTime) {
            v.Integer = -v.Integer;
          }
          return v;
        }
        default:
          return operand;
      }
    }
    case fc::kBinary: {
      if (!node.Left || !node.Right) return Boolean(false);
      const TFilterValue right = Evaluate(*node.Right, record, context);
      if (node.Operator == fo::kAnd) {
        return Boolean(Truthy(right) && Truthy(Evaluate(*node.Left, record, context)));
      }
      if (node.Operator == fo::kOr) {
        return Boolean(Truthy(right) || Truthy(Evaluate(*node.Left, record, context)));
      }
      const TFilterValue left = Evaluate(*node.Left, record, context);
      if (node.Operator >= fo::kEqual && node.Operator <= fo::kLessEqual) {
        return Comparison(node.Operator, left, right, context.LocaleId);
      }
      return Arithmetic(node.Operator, left, right);
    }
    case fc::kCompare: {
      if (!node.Left || !node.Right) return Boolean(false);
      const TFilterValue left = Evaluate(*node.Left, record, context);
      const TFilterValue right = Evaluate(*node.Right, record, context);
      const bool leftNull = left.Null || left.Type == 0;
      const bool rightNull = right.Null || right.Type == 0;
      bool equal = leftNull && rightNull;
      if (!leftNull && !rightNull) {
        equal = left.Type == kString && right.Type == kString
                    ? FilterStringsEqual(left.Text, right.Text, node.CaseInsensitive,
                                         node.PartialLength, context.LocaleId)
                    : Truthy(Comparison(fo::kEqual, left, right, context.LocaleId));
      }
      return Boolean(node.Operator == fo::kNotEqual ? !equal : equal);
    }
    case fc::kFunction:
      return Function(node, record, context);
    case fc::kExtended:
      return Extended(node, record, context);
    default:
      return {};
  }
}

bool ConditionHolds(const TFilterNode& root, const std::uint8_t* record,
                    const TEvaluationContext& context) {
  return Truthy(Evaluate(root, record, context));
}

}  // namespace katalog
