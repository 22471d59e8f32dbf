#include "engine/components/FilterExpr.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "dataset/Bcd.h"
#include "dataset/DataSet.h"
#include "dataset/DatabaseError.h"
#include "dataset/Field.h"
#include "engine/components/FilterConstant.h"
#include "engine/components/FilterError.h"
#include "platform/ByteOrder.h"
#include "platform/DateTime.h"
#include "platform/FormatSettings.h"
#include "platform/Locale.h"
#include "platform/TextConversion.h"

namespace katalog {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kHeaderSize = 10;
constexpr std::size_t kMaxConditionSize = 0xFFFF;
constexpr std::size_t kMaxStringConstant = 255;
// The constant of the bare Boolean field test: all bits set.
constexpr std::uint16_t kBooleanTrueMask = 0xFFFF;
constexpr std::size_t kBcdConstantSize = 18;
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

// Constant type codes: the engine's field type codes.
constexpr std::uint16_t ctString = 1, ctDate = 2, ctBoolean = 4, ctSmallint = 5, ctInteger = 6,
                        ctFloat = 7, ctBcd = 8, ctTime = 10, ctDateTime = 11, ctWord = 12;

struct TConstant {
  std::uint16_t Type;
  Bytes Data;
};

constexpr const char* kMalformed = "Incorrectly formed filter expression";

// With no node to point at: no tree, or a condition too large for the layout.
[[noreturn]] void Malformed() {
  DatabaseError(kMalformed);
}
// A node that cannot stand where it stands.
[[noreturn]] void Malformed(const TExprNode& node) {
  FilterError(kMalformed, node.Position);
}
[[noreturn]] void CannotUse(const TField& field, const TExprNode& node) {
  FilterError("Field '" + field.FieldName() + "' cannot be used in a filter expression",
              node.Position);
}

template <class T>
Bytes Encoded(T value, void (*store)(std::uint8_t*, T)) {
  Bytes data(sizeof(T));
  store(data.data(), value);
  return data;
}

// The comparison with its operands exchanged, by operator code: > and <, >= and <= trade places.
constexpr TExprOperator kSwapped[] = {opNone, opIsBlank, opNotBlank,    opEqual,         opNotEqual,
                                      opLess, opGreater, opLessOrEqual, opGreaterOrEqual};

// Builds one compiled condition: the node area and the literal area grow side by side and are
// joined behind the header at the end.
class TConditionWriter {
 public:
  TConditionWriter(TDataSet& dataSet, TFilterOptions options, TConstantForms forms)
      : dataSet_(dataSet), options_(options), forms_(forms) {}

  Bytes Finish(const TExprNode& root) {
    Condition(root);
    const std::size_t total = kHeaderSize + nodes_.size() + literals_.size();
    if (total > kMaxConditionSize) Malformed();
    Bytes out(kHeaderSize);
    StoreU16(&out[0], 0);
    StoreU16(&out[2], static_cast<std::uint16_t>(total));
    StoreU16(&out[4], 0xFFFF);
    StoreU16(&out[6], static_cast<std::uint16_t>(kHeaderSize));
    StoreU16(&out[8], static_cast<std::uint16_t>(kHeaderSize + nodes_.size()));
    out.insert(out.end(), nodes_.begin(), nodes_.end());
    out.insert(out.end(), literals_.begin(), literals_.end());
    return out;
  }

 private:
  // Appends a node with room for its operands; returns its node offset.
  std::size_t Reserve(TExprNodeClass nodeClass, TExprOperator op, std::size_t operands) {
    const std::size_t at = nodes_.size();
    nodes_.resize(at + 8 + 2 * operands);
    // Checked as the tree is walked, so that an oversized tree stops early.
    if (kHeaderSize + nodes_.size() + literals_.size() > kMaxConditionSize) Malformed();
    StoreU32(&nodes_[at], nodeClass);
    StoreU32(&nodes_[at + 4], op);
    return at;
  }
  // A node and then, in turn, its operands: offsets, or functions that emit an operand node
  // (after this one, as the layout wants) and return its offset.
  template <class... TOperand>
  std::size_t Emit(TExprNodeClass nodeClass, TExprOperator op, TOperand&&... operands) {
    const std::size_t at = Reserve(nodeClass, op, sizeof...(operands));
    std::size_t place = at + 8;
    ((SetOperand(place, Operand(operands)), place += 2), ...);
    return at;
  }
  // The value is computed before the node area is touched: emitting an operand may move it.
  void SetOperand(std::size_t place, std::size_t value) {
    StoreU16(&nodes_[place], static_cast<std::uint16_t>(value));
  }
  template <class TOperand>
  static std::size_t Operand(TOperand&& operand) {
    if constexpr (std::is_invocable_v<TOperand>) {
      return operand();
    } else {
      return static_cast<std::size_t>(operand);
    }
  }
  std::size_t AddLiteral(const Bytes& data) {
    const std::size_t at = literals_.size();
    literals_.insert(literals_.end(), data.begin(), data.end());
    if (kHeaderSize + nodes_.size() + literals_.size() > kMaxConditionSize) Malformed();
    return at;
  }

  // A node that stands as a condition of its own.
  std::size_t Condition(const TExprNode& node) {
    if (node.Kind == TExprNodeKind::Constant) Malformed(node);
    if (node.Kind == TExprNodeKind::Field) {
      const TField& field = LookUp(node);
      if (field.DataType() != ftBoolean) {
        FilterError("Field '" + field.FieldName() + "' is not of type Boolean", node.Position);
      }
      return Emit(
          ncBinary, opEqual, [&] { return FieldNode(field); },
          [&] {
            return ConstantNode({ctBoolean, Encoded(kBooleanTrueMask, &StoreU16)});
          });
    }
    const TExprOperator op = node.Operator;
    if (op >= opEqual && op <= opLessOrEqual) return Comparison(node);
    if ((op == opAnd || op == opOr) && node.Left && node.Right) {
      return Emit(
          ncBinary, op, [&] { return Condition(*node.Left); },
          [&] { return Condition(*node.Right); });
    }
    if (op == opNot && node.Left) return Emit(ncUnary, op, [&] { return Condition(*node.Left); });
    Malformed(node);
  }

  std::size_t Comparison(const TExprNode& node) {
    const TExprNode* left = node.Left;
    const TExprNode* right = node.Right;
    if (!left || !right) Malformed(node);
    TExprOperator op = node.Operator;
    if (right->Kind == TExprNodeKind::Field && left->Kind != TExprNodeKind::Field) {
      std::swap(left, right);
      op = kSwapped[op];
    }
    if (left->Kind != TExprNodeKind::Field) Malformed(node);
    const TField& field = LookUp(*left);
    if (right->Kind == TExprNodeKind::Field) {
      const TField& other = LookUp(*right);
      return Emit(
          ncBinary, op, [&] { return FieldNode(field); }, [&] { return FieldNode(other); });
    }
    if (right->Kind != TExprNodeKind::Constant) Malformed(node);
    if (IsNull(right->Value)) {
      if (op != opEqual && op != opNotEqual) {
        FilterError("NULL only allowed with '=' and '<>'", node.Position);
      }
      return Emit(ncUnary, op == opEqual ? opIsBlank : opNotBlank,
                  [&] { return FieldNode(field); });
    }
    if ((op == opEqual || op == opNotEqual) && field.DataType() == ftString) {
      std::string text = TextOf(*right);
      if (!text.empty()) {
        const bool caseInsensitive = (options_ & foCaseInsensitive) != 0;
        std::size_t partial = 0;
        if (node.Partial) {
          partial = text.size();
        } else if ((options_ & foNoPartialCompare) == 0 && text.size() > 1 && text.back() == '*') {
          text.pop_back();
          partial = text.size();
        }
        if (caseInsensitive || partial != 0) {
          // The constant holds at most 255 characters; no more can be compared.
          return Emit(
              ncCompare, op, caseInsensitive ? 1 : 0, std::min(partial, kMaxStringConstant),
              [&] { return FieldNode(field); }, [&] { return ConstantNode(StringConstant(text)); });
        }
      }
    }
    const TConstant constant = Converted(field, *left, *right);
    return Emit(
        ncBinary, op, [&] { return FieldNode(field); }, [&] { return ConstantNode(constant); });
  }

  // The data field a field node names.
  const TField& LookUp(const TExprNode& node) {
    const auto* name = std::get_if<std::string>(&node.Value);
    if (!name) Malformed(node);
    const TField* field = nullptr;
    try {
      field = dataSet_.FieldNamed(*name);
    } catch (const EDatabaseError& notFound) {
      // The data set's own message, at the name's place in the text.
      FilterError(notFound.Message(), node.Position);
    }
    if (field->FieldKind() != fkData && field->FieldKind() != fkInternalCalc) {
      CannotUse(*field, node);
    }
    return *field;
  }

  std::size_t FieldNode(const TField& field) {
    const std::string name = dataSet_.Translate(field.FieldName(), false);
    Bytes data(name.begin(), name.end());
    data.push_back(0);
    return Emit(ncField, opField, static_cast<std::uint16_t>(field.FieldNo()), AddLiteral(data));
  }

  std::size_t ConstantNode(const TConstant& constant) {
    return Emit(ncConstant, opConstant, constant.Type, constant.Data.size(),
                AddLiteral(constant.Data));
  }

  TConstant StringConstant(std::string_view text) {
    std::string translated = dataSet_.Translate(text, false);
    if (translated.size() > kMaxStringConstant) translated.resize(kMaxStringConstant);
    Bytes data(translated.begin(), translated.end());
    data.push_back(0);
    return {ctString, std::move(data)};
  }

  // The constant in the stored form of the type of the field `name` names.
  TConstant Converted(const TField& field, const TExprNode& name, const TExprNode& constant) {
    switch (field.DataType()) {
      case ftString:
        return StringConstant(TextOf(constant));
      case ftSmallint:
        return {ctSmallint,
                Encoded(static_cast<std::int16_t>(IntegerOf(constant, -32768, 32767)), &StoreI16)};
      case ftWord:
        return {ctWord,
                Encoded(static_cast<std::uint16_t>(IntegerOf(constant, 0, 65535)), &StoreU16)};
      case ftInteger:
      case ftAutoInc:
        return {ctInteger,
                Encoded(static_cast<std::int32_t>(IntegerOf(constant, kInt32Min, kInt32Max)),
                        &StoreI32)};
      case ftBoolean:
        return {ctBoolean, Encoded(std::uint16_t{BooleanOf(constant)}, &StoreU16)};
      case ftFloat:
      case ftCurrency:
        return {ctFloat, Encoded(FloatOf(constant, forms_), &StoreDouble)};
      case ftBCD: {
        Bytes data(kBcdConstantSize, 0);
        StoreI64(data.data(), AmountOf(constant, field.Size(), forms_));
        return {ctBcd, std::move(data)};
      }
      case ftDate:
        return {ctDate, Encoded(StampOf(constant, ftDate, forms_).Date, &StoreI32)};
      case ftTime:
        return {ctTime, Encoded(StampOf(constant, ftTime, forms_).Time, &StoreI32)};
      case ftDateTime: {
        const platform::TTimeStamp stamp = StampOf(constant, ftDateTime, forms_);
        const double ms = static_cast<double>(stamp.Date) * platform::kMsecsPerDay + stamp.Time;
        return {ctDateTime, Encoded(ms, &StoreDouble)};
      }
      default:
        CannotUse(field, name);
    }
  }

  TDataSet& dataSet_;
  TFilterOptions options_;
  TConstantForms forms_;
  Bytes nodes_;
  Bytes literals_;
};

}  // namespace

TFilterExpr::TFilterExpr(TDataSet& dataSet, TFilterOptions options, TConstantForms forms)
    : dataSet_(dataSet), options_(options), forms_(forms) {}

TExprNode* TFilterExpr::NewNode(TExprNodeKind kind, TExprOperator op, TVariant value,
                                TExprNode* left, TExprNode* right) {
  TExprNode& node = nodes_.emplace_back();
  node.Kind = kind;
  node.Operator = op;
  node.Value = std::move(value);
  node.Left = left;
  node.Right = right;
  return &node;
}

TExprNode* TFilterExpr::NewCompareNode(TField& field, TVariant value) {
  TExprNode* name = NewNode(TExprNodeKind::Field, opNone, field.FieldName(), nullptr, nullptr);
  TExprNode* constant =
      NewNode(TExprNodeKind::Constant, opNone, std::move(value), nullptr, nullptr);
  return NewNode(TExprNodeKind::Operator, opEqual, {}, name, constant);
}

std::vector<std::uint8_t> TFilterExpr::Compile(const TExprNode* root) {
  if (!root) Malformed();
  return TConditionWriter(dataSet_, options_, forms_).Finish(*root);
}

}  // namespace katalog
