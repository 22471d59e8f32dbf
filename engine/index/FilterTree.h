// The condition tree of an expression filter: nodes made from a compiled condition (the byte
// block the filter-expression compiler produces), or handed over ready-made by a caller, and the
// values the evaluator computes with.
//
// Compiled condition read here (little-endian; node and literal offsets relative to their areas):
//
//   header   offset  size  content
//                 6     2  start of the node area
//                 8     2  start of the literal area
//   node     offset  size  content
//                 0     4  class: 1 unary, 2 binary, 3 string compare, 4 field, 5 constant
//                 4     4  operator
//                 8     2  unary: operand; binary: left; compare: case-insensitive flag;
//                          field: field number (unused); constant: type code
//                10     2  binary: right; compare: partial length; field: name offset;
//                          constant: data size
//                12     2  compare: left (field) node; constant: data offset
//                14     2  compare: right (constant) node
//
// Damaged or hostile blocks (offsets outside the block, cycles, unknown classes) are refused with
// kInvalidFilterExpression; a field name no field carries is kInvalidField.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/FieldDescriptor.h"

namespace katalog {

// Node classes and operator codes.
namespace fc {
inline constexpr int kUnary = 1, kBinary = 2, kCompare = 3, kField = 4, kConstant = 5,
                     kFunction = 10, kExtended = 12;
}  // namespace fc
namespace fo {
inline constexpr int kIsNull = 1, kIsNotNull = 2, kEqual = 3, kNotEqual = 4, kGreater = 5,
                     kLess = 6, kGreaterEqual = 7, kLessEqual = 8, kNot = 9, kAnd = 10, kOr = 11,
                     kNegate = 15, kPlus = 16, kAdd = 17, kSubtract = 18, kMultiply = 19,
                     kDivide = 20, kAggregateFirst = 23, kAggregateLast = 27, kLike = 31, kIn = 32,
                     kUpper = 34, kLower = 35, kBetween = 39, kNotBetween = 40, kNotLike = 41,
                     kNotIn = 42, kSubstring = 43, kTrimLeading = 44, kTrimTrailing = 45,
                     kTrimBoth = 46, kYear = 48, kMonth = 49, kDay = 50;
}  // namespace fo

// A value during evaluation. Type is a field type code (1 string, 2 date, 4 boolean, 5 small
// integer, 6 integer, 7 float, 8 BCD, 10 time, 11 date-time, 12 word), 0 untyped. Integers,
// dates (day numbers), times (milliseconds), booleans (0 / 1) and BCD amounts (units of
// 1/10 000) are in Integer; floats and date-times (milliseconds since day 1) in Float.
struct TFilterValue {
  std::uint8_t Type = 0;
  bool Null = true;
  std::int64_t Integer = 0;
  double Float = 0;
  std::string Text;
  std::uint8_t Decimals = 0;  // BCD: digits after the point of the field or constant
};

struct TFilterNode {
  int Class = 0;
  int Operator = 0;
  std::uint8_t Level = 2;  // 0 from indexes, 1 partly, 2 by evaluating records
  std::string FieldName;
  int FieldNumber = 0;  // field nodes: looked up by name
  TFilterValue Value;   // constants: their value; fields: type and decimals
  bool NullConstant = false;
  std::uint8_t PartialLength = 0;
  bool CaseInsensitive = false;
  std::unique_ptr<TFilterNode> Left;
  std::unique_ptr<TFilterNode> Right;

  std::unique_ptr<TFilterNode> Copy() const;
};

// Builds the tree of a compiled condition; field names are looked up in `fields` without regard
// to case. Raises EIsamEngineError kInvalidFilterExpression or kInvalidField (naming `fileName`).
std::unique_ptr<TFilterNode> ConvertCondition(const std::vector<std::uint8_t>& condition,
                                              const std::vector<TFieldDescriptor>& fields,
                                              const std::string& fileName);

}  // namespace katalog
