// TFilter: one filter of a table cursor. An expression filter holds a condition tree (made from
// a compiled condition, or handed over) and computes its bitmap from the indexes where the
// condition allows (a comparison of an indexed field with a constant, combined with AND, OR,
// NOT, IN and BETWEEN), reading and evaluating records only for the rest, and in an AND only the
// records the index side kept. A callback filter asks a function for every candidate record.
//
// Levels, stored in every node: 0 the subtree is answered from indexes, 2 by evaluating records,
// 1 (AND only) partly. An index serves a field when the field is its first key field, in
// ascending order, and, for strings, its case-insensitivity is the comparison's.
//
// The filter owns its tree and its bitmap; the host (the data file) outlives it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/index/FilterEvaluator.h"
#include "engine/index/FilterTree.h"
#include "engine/index/IndexFileHeader.h"
#include "engine/index/Visibility.h"

namespace katalog {

class TIndexStore;

// What a filter needs of its table.
class TFilterHost {
 public:
  virtual ~TFilterHost() = default;
  virtual TIndexStore& FilterIndexStore() = 0;
  // Whether the table keeps indexes a filter can use (it has a primary index).
  virtual bool FilterIndexesUsable() = 0;
  virtual TEvaluationContext FilterContext() = 0;
  virtual std::int32_t FilterRecordCount() = 0;
  // The record buffer of physical record r, or nullptr for a deleted slot. May raise TRestart.
  virtual const std::uint8_t* FilterRecord(std::int32_t r) = 0;
};

class TFilter : public TCursorFilter {
 public:
  using TCallback = std::function<bool(const std::uint8_t* record, std::int32_t r)>;

  TFilter(TFilterHost& host, std::unique_ptr<TFilterNode> tree);
  TFilter(TFilterHost& host, TCallback callback);

  bool Active() const override { return active_; }
  void SetActive(bool value) { active_ = value; }
  void Compute(TRecordBitmap& candidates) override;
  bool Accepts(std::int32_t r, const std::uint8_t* buffer) override;
  TRecordBitmap& Bitmap() override { return bitmap_; }

  bool IsCallback() const { return !tree_; }
  const TFilterNode* Tree() const { return tree_.get(); }
  // The level of the whole filter (callback filters 2).
  int Level() const { return tree_ ? tree_->Level : 2; }
  // How many records were evaluated since the filter was made.
  std::int64_t Evaluations() const { return evaluations_; }
  // A copy for another cursor of the same table: the tree copied, the callback shared.
  std::unique_ptr<TFilter> Copy(TFilterHost& host) const;

 private:
  void Classify(TFilterNode& node);
  std::uint8_t ComparisonLevel(const TFilterNode& node, TIndexCase wanted) const;
  // The slot of the first ascending index whose first field is `fieldNumber` and that serves
  // `wanted`, or -1.
  int ChooseIndex(int fieldNumber, TIndexCase wanted) const;
  void ComputeNode(const TFilterNode& node, TRecordBitmap& bitmap);
  void Scan(const TFilterNode* node, TRecordBitmap& bitmap);
  // How Collect compares: whether the constant is null, how many leading characters of a
  // string count (0: all), and which indexes serve the comparison.
  struct TComparison {
    bool NullConstant = false;
    int PartialLength = 0;
    TIndexCase Case = TIndexCase::Sensitive;
  };
  // The records whose key in the field's index satisfies `op` against the constant.
  TRecordBitmap Collect(const TFilterNode& fieldNode, int op, const TFilterValue& constant,
                        TComparison comparison);
  bool Evaluate(const std::uint8_t* record, std::int32_t r);

  TFilterHost& host_;
  std::unique_ptr<TFilterNode> tree_;
  TCallback callback_;
  TRecordBitmap bitmap_;
  bool active_ = false;
  std::int64_t evaluations_ = 0;
};

}  // namespace katalog
