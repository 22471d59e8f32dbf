#include "engine/index/Filter.h"

#include <algorithm>
#include <vector>

#include "engine/index/IndexStore.h"
#include "engine/index/IndexTree.h"
#include "engine/index/Keys.h"
#include "platform/ByteOrder.h"

namespace katalog {

namespace {

bool IsComparison(int op) {
  return op >= fo::kEqual && op <= fo::kLessEqual;
}

// The indexes that serve a comparison node of a string field: those of its case-insensitivity.
TIndexCase CaseOf(const TFilterNode& compare) {
  return compare.CaseInsensitive ? TIndexCase::Insensitive : TIndexCase::Sensitive;
}

// The constant's bytes as the record stores the field's value; false when the constant is not
// of the field's type or the field's form cannot hold it exactly.
bool EncodeConstant(const TFieldDescriptor& field, const TFilterValue& value, std::uint8_t* data) {
  const std::uint8_t type =
      field.FieldTypeCode == ft::kLongWord ? ft::kInteger : field.FieldTypeCode;
  if (value.Null || value.Type != type || field.IsAutoIncrement()) return false;
  std::fill_n(data, field.PhysicalSize, 0);
  switch (type) {
    case ft::kString:
      std::copy_n(value.Text.data(),
                  std::min<std::size_t>(value.Text.size(), field.PhysicalSize - 1u), data);
      return value.Text.size() < field.PhysicalSize;
    case ft::kDate:
    case ft::kInteger:
    case ft::kTime:
      StoreI32(data, static_cast<std::int32_t>(value.Integer));
      return true;
    case ft::kBoolean:
      StoreU16(data, value.Integer != 0);
      return true;
    case ft::kSmallInt:
      StoreI16(data, static_cast<std::int16_t>(value.Integer));
      return true;
    case ft::kWord:
      StoreU16(data, static_cast<std::uint16_t>(value.Integer));
      return true;
    case ft::kFloat:
    case ft::kDateTime:
      StoreDouble(data, value.Float);
      return true;
    case ft::kBcd: {
      // Records with more than four decimals compare by their value rounded to four (the
      // evaluator's amounts): many stored values equal one constant, which no single key
      // stands for, so such comparisons read the records.
      if (field.PhysicalScale > 4) return false;
      std::int64_t stored = value.Integer;
      for (int scale = 4; scale > field.PhysicalScale; --scale) {
        if (stored % 10 != 0) return false;
        stored /= 10;
      }
      StoreI64(data, stored);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

TFilter::TFilter(TFilterHost& host, std::unique_ptr<TFilterNode> tree)
    : host_(host), tree_(std::move(tree)) {
  Classify(*tree_);
}

TFilter::TFilter(TFilterHost& host, TCallback callback)
    : host_(host), callback_(std::move(callback)) {}

std::unique_ptr<TFilter> TFilter::Copy(TFilterHost& host) const {
  auto copy = tree_ ? std::make_unique<TFilter>(host, tree_->Copy())
                    : std::make_unique<TFilter>(host, callback_);
  copy->active_ = active_;
  return copy;
}

// --- classification ---

int TFilter::ChooseIndex(int fieldNumber, TIndexCase wanted) const {
  if (!host_.FilterIndexesUsable()) return -1;
  TIndexStore& store = host_.FilterIndexStore();
  for (int slot = 0; slot <= store.File().SecondaryCount(); ++slot) {
    const TIndexDescriptor& d = store.File().Descriptor(slot);
    if (d.FieldCount == 0 || d.FieldNumbers[0] != fieldNumber) continue;
    // Descending orders would need their bounds turned round: they are left to scanning.
    if (d.Descending || d.FieldDescending[0]) continue;
    const bool isString = store.KeyContext(slot).Field(0).FieldTypeCode == ft::kString;
    const bool insensitive = wanted == TIndexCase::Insensitive;
    if (wanted == TIndexCase::Any || !isString || (d.CaseInsensitive != 0) == insensitive) {
      return slot;
    }
  }
  return -1;
}

std::uint8_t TFilter::ComparisonLevel(const TFilterNode& node, TIndexCase wanted) const {
  if (!node.Left || !node.Right || node.Left->Class != fc::kField ||
      node.Right->Class != fc::kConstant) {
    return 2;
  }
  const int slot = ChooseIndex(node.Left->FieldNumber, wanted);
  if (slot < 0) return 2;
  if (node.Right->NullConstant) return 0;
  const TFieldDescriptor& field = host_.FilterIndexStore().KeyContext(slot).Field(0);
  std::vector<std::uint8_t> data(field.PhysicalSize);
  return EncodeConstant(field, node.Right->Value, data.data()) ? 0 : 2;
}

void TFilter::Classify(TFilterNode& node) {
  std::uint8_t level = 2;
  switch (node.Class) {
    case fc::kUnary:
      if (node.Left) Classify(*node.Left);
      if (node.Operator == fo::kIsNull || node.Operator == fo::kIsNotNull) {
        level = node.Left && node.Left->Class == fc::kField &&
                        ChooseIndex(node.Left->FieldNumber, TIndexCase::Any) >= 0
                    ? 0
                    : 2;
      } else if (node.Left && node.Operator == fo::kNot) {
        level = node.Left->Level;
      }
      break;
    case fc::kBinary:
      if (node.Left) Classify(*node.Left);
      if (node.Right) Classify(*node.Right);
      if (!node.Left || !node.Right) break;
      if (node.Operator == fo::kAnd) {
        const std::uint8_t l = node.Left->Level, r = node.Right->Level;
        level = l == 0 && r == 0 ? 0 : l == 2 && r == 2 ? 2 : 1;
        if (l > r) std::swap(node.Left, node.Right);  // the index side first
      } else if (node.Operator == fo::kOr) {
        level = node.Left->Level == 0 && node.Right->Level == 0 ? 0 : 2;
      } else if (IsComparison(node.Operator)) {
        level = ComparisonLevel(node, TIndexCase::Sensitive);
      }
      break;
    case fc::kCompare:
      level = node.Operator == fo::kEqual || node.Operator == fo::kNotEqual
                  ? ComparisonLevel(node, CaseOf(node))
                  : 2;
      // Under a collation the strings that begin with a prefix are no contiguous key range
      // ("ch" sorts after "h" in Czech; case differences weigh less than the letters after):
      // prefix compares read the records.
      if (node.PartialLength > 0 && host_.FilterContext().LocaleId != 0) level = 2;
      break;
    case fc::kExtended:
      if (node.Operator == fo::kIn || node.Operator == fo::kNotIn ||
          node.Operator == fo::kBetween || node.Operator == fo::kNotBetween) {
        level = node.Left && node.Right ? 0 : 2;
        for (const TFilterNode* item = node.Right.get(); item && level == 0;
             item = item->Right.get()) {
          TFilterNode probe;
          probe.Class = fc::kBinary;
          probe.Left = node.Left->Copy();
          probe.Right = item->Copy();
          probe.Right->Right.reset();
          level = ComparisonLevel(probe, TIndexCase::Sensitive);
        }
      }
      break;
    default:
      break;
  }
  node.Level = level;
}

// --- computing the bitmap ---

void TFilter::Compute(TRecordBitmap& candidates) {
  if (!tree_) return Scan(nullptr, candidates);
  ComputeNode(*tree_, candidates);
}

bool TFilter::Evaluate(const std::uint8_t* record, std::int32_t r) {
  ++evaluations_;
  if (!tree_) return callback_(record, r);
  return ConditionHolds(*tree_, record, host_.FilterContext());
}

bool TFilter::Accepts(std::int32_t r, const std::uint8_t* buffer) {
  return Evaluate(buffer, r);
}

void TFilter::Scan(const TFilterNode* node, TRecordBitmap& bitmap) {
  const TEvaluationContext context = host_.FilterContext();
  for (std::int32_t r = bitmap.NextSet(1); r != 0; r = bitmap.NextSet(r + 1)) {
    const std::uint8_t* record = host_.FilterRecord(r);
    bool passes = false;
    if (record) {
      ++evaluations_;
      passes = node ? ConditionHolds(*node, record, context) : callback_(record, r);
    }
    if (!passes) bitmap.Clear(r);
  }
}

void TFilter::ComputeNode(const TFilterNode& node, TRecordBitmap& bitmap) {
  if (node.Level == 2) return Scan(&node, bitmap);
  const auto collectInto = [&](int op, const TFilterNode& constant) {
    return Collect(*node.Left, op, constant.Value, {.NullConstant = constant.NullConstant});
  };
  switch (node.Class) {
    case fc::kUnary:
      if (node.Operator == fo::kNot) {
        TRecordBitmap operand = bitmap;
        ComputeNode(*node.Left, operand);
        bitmap.AndNot(operand);
      } else {
        bitmap.And(Collect(*node.Left, node.Operator, {}, {.NullConstant = true}));
      }
      return;
    case fc::kBinary:
      if (node.Operator == fo::kAnd) {
        ComputeNode(*node.Left, bitmap);
        ComputeNode(*node.Right, bitmap);  // only what the left side kept
      } else if (node.Operator == fo::kOr) {
        TRecordBitmap left = bitmap;
        ComputeNode(*node.Left, left);
        TRecordBitmap right = bitmap;
        ComputeNode(*node.Right, right);
        left.Or(right);
        bitmap = left;
      } else {
        bitmap.And(collectInto(node.Operator, *node.Right));
      }
      return;
    case fc::kCompare:
      bitmap.And(Collect(*node.Left, node.Operator, node.Right->Value,
                         {.NullConstant = node.Right->NullConstant,
                          .PartialLength = node.PartialLength,
                          .Case = CaseOf(node)}));
      return;
    case fc::kExtended: {
      TRecordBitmap set;
      set.Resize(bitmap.Records());
      if (node.Operator == fo::kIn || node.Operator == fo::kNotIn) {
        for (const TFilterNode* item = node.Right.get(); item; item = item->Right.get()) {
          set.Or(collectInto(fo::kEqual, *item));
        }
      } else {
        set = collectInto(fo::kGreaterEqual, *node.Right);
        if (node.Right->Right) set.And(collectInto(fo::kLessEqual, *node.Right->Right));
      }
      if (node.Operator == fo::kNotIn || node.Operator == fo::kNotBetween) {
        bitmap.AndNot(set);
      } else {
        bitmap.And(set);
      }
      return;
    }
    default:
      return Scan(&node, bitmap);
  }
}

TRecordBitmap TFilter::Collect(const TFilterNode& fieldNode, int op, const TFilterValue& constant,
                               TComparison comparison) {
  TRecordBitmap result;
  result.Resize(host_.FilterRecordCount());
  const bool nullTest = op == fo::kIsNull || op == fo::kIsNotNull;
  const int slot = ChooseIndex(fieldNode.FieldNumber, nullTest ? TIndexCase::Any : comparison.Case);
  TIndexStore& store = host_.FilterIndexStore();
  const TKeyContext context = store.KeyContext(slot);
  const TFieldDescriptor& field = context.Field(0);
  const int keyLength = context.Index->KeyLength;
  const int slotSize = 1 + field.PhysicalSize;
  TIndexTree tree(store, slot);

  // The null constant: = is the null test, <> the not-null test.
  if (comparison.NullConstant && !nullTest) {
    if (op == fo::kEqual) op = fo::kIsNull;
    if (op == fo::kNotEqual) op = fo::kIsNotNull;
    // Ordering against null holds for no record.
    if (op != fo::kIsNull && op != fo::kIsNotNull) return result;
  }
  std::vector<std::uint8_t> value(static_cast<std::size_t>(keyLength));
  std::vector<std::uint8_t> low(value.size()), high(value.size());
  const auto bound = [&](std::vector<std::uint8_t>& key, const std::vector<std::uint8_t>& from,
                         int keep, bool fillHigh) {
    std::copy(from.begin(), from.begin() + keep, key.begin());
    fillHigh ? FillHigh(context, key.data(), keep) : FillLow(context, key.data(), keep);
  };
  const auto presence = [&](std::uint8_t flag) {
    std::vector<std::uint8_t> key(value.size());
    key[0] = flag;
    return key;
  };
  // Marks the keys in [low, high], walking the smaller of the range and its complement.
  const auto mark = [&](TRecordBitmap& into) {
    if (tree.Compare(low.data(), high.data()) > 0) return;
    const std::int32_t below = tree.CountBelow(low.data());
    const std::int32_t upTo = tree.CountUpTo(high.data());
    const std::int32_t total = tree.KeyCount();
    if (total - (upTo - below) < upTo - below) {
      TRecordBitmap outside;
      outside.Resize(into.Records());
      tree.MarkRanks(1, below, outside);
      tree.MarkRanks(upTo + 1, total, outside);
      outside.Complement();
      into.Or(outside);
    } else {
      tree.MarkRanks(below + 1, upTo, into);
    }
  };

  if (op == fo::kIsNull || op == fo::kIsNotNull) {
    const auto flag = presence(op == fo::kIsNull ? 0 : 1);
    bound(low, flag, 1, false);
    bound(high, flag, 1, true);
    mark(result);
    return result;
  }
  std::vector<std::uint8_t> data(field.PhysicalSize);
  EncodeConstant(field, constant, data.data());
  BuildFieldSlot(field, data.data(), {.CaseInsensitive = context.Index->CaseInsensitive != 0},
                 context.LocaleId, value.data());
  const int compared =
      comparison.PartialLength > 0 ? std::min(comparison.PartialLength + 1, slotSize) : slotSize;
  TRecordBitmap equal;
  equal.Resize(result.Records());
  bound(low, value, compared, false);
  bound(high, value, compared, true);
  mark(equal);
  const auto present = presence(1);
  switch (op) {
    case fo::kEqual:
      return equal;
    case fo::kNotEqual:
      result.SetAll();
      result.AndNot(equal);
      return result;
    case fo::kGreater:
    case fo::kGreaterEqual:
      bound(low, value, slotSize, false);
      bound(high, present, 1, true);
      break;
    default:  // < and <=
      bound(low, present, 1, false);
      bound(high, value, slotSize, true);
      break;
  }
  mark(result);
  if (op == fo::kGreater || op == fo::kLess) result.AndNot(equal);
  return result;
}

}  // namespace katalog
