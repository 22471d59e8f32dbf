// Evaluating a filter condition tree on one record: field values from the record buffer, the
// operators, functions and comparisons of the condition language, and the string comparison.
//
// Nulls: a comparison = or <> treats two nulls as equal and one null as different; the ordering
// comparisons, IN, BETWEEN and LIKE are false when an operand is null (so that a condition gives
// the same records whether an index answers it or the records are read); division by zero gives
// null. The empty text constant stands for null.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/index/FilterTree.h"
#include "engine/storage/FieldDescriptor.h"

namespace katalog {

struct TEvaluationContext {
  // The table's locale (language in the low 16 bits, sort in the high 16); 0 without one.
  std::uint32_t LocaleId = 0;
  // The fields the record buffer holds; field number n at [n - 1].
  const std::vector<TFieldDescriptor>* Fields = nullptr;
};

// The value of a field in a record buffer; untyped null for types a condition cannot use.
TFilterValue ReadFilterField(const TFieldDescriptor& field, const std::uint8_t* record);

TFilterValue Evaluate(const TFilterNode& node, const std::uint8_t* record,
                      const TEvaluationContext& context);

// Whether the condition holds for the record: its value is a non-null true.
bool ConditionHolds(const TFilterNode& root, const std::uint8_t* record,
                    const TEvaluationContext& context);

// -1, 0 or 1. With a locale the locale's collation (string sort; ignoring case when asked);
// without one unsigned bytes, upper-casing a-z first when asked. A partial length compares only
// that many leading characters.
int CompareFilterStrings(const std::string& a, const std::string& b, bool caseInsensitive,
                         int partialLength, std::uint32_t localeId);
// CompareFilterStrings(...) == 0, without the locale's comparison for texts of printable ASCII.
bool FilterStringsEqual(const std::string& a, const std::string& b, bool caseInsensitive,
                        int partialLength, std::uint32_t localeId);

}  // namespace katalog
