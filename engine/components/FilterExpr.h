// TFilterExpr: the expression tree of a filter condition and its compiler. The parser
// (ExprParser.h) and Locate build trees out of TExprNode objects that a TFilterExpr makes and
// owns; Compile turns a tree, checked against the data set's fields, into the self-contained
// byte block the engine's filter evaluates.
//
// Compiled condition, little-endian, offsets in bytes:
//   header (10)   u16 0, u16 total size, u16 0xFFFF, u16 10 (node area start),
//                 u16 literal area start (10 + node area size)
//   node area     the root first, every node before its operands; node offsets count from the
//                 start of the node area. A node is u32 class, u32 operator, then u16 operands:
//                   1 unary            [operand]
//                   2 binary           [left, right]
//                   3 string compare   [case-insensitive 0/1, partial length, field, constant]
//                   4 field            [field number, literal offset of the name]
//                   5 constant         [type code, data size, literal offset of the data]
//   literal area  field names (zero-terminated) and constant data in the order they are made,
//                 without padding; literal offsets count from the start of the literal area.
//
// Constant data by the compared field's type: string (code 1) the text cut to 255 characters
// and a zero byte; date (2) i32 day number; boolean (4) u16 1 or 0; smallint (5) i16; integer
// and autoinc (6) i32; float and currency (7) double; BCD (8) the i64 amount in units of 1/10 000
// rounded to the field's decimals, followed by 10 zero bytes so that the recorded size is 18
// (only the first 8 bytes carry the value); time (10) i32 milliseconds since midnight;
// date-time (11) double milliseconds since the start of day 1; word (12) u16.
//
// A condition must fit the 16-bit sizes and offsets of the layout: a larger one is refused as an
// incorrectly formed expression.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <optional>
#include <vector>

#include "dataset/FieldType.h"
#include "dataset/Variant.h"

namespace katalog {

class TDataSet;
class TField;

enum class TExprNodeKind : std::uint8_t { Field = 0, Constant = 1, Operator = 2 };

// Operator codes, shared by the tree and the compiled condition.
enum TExprOperator : std::uint32_t {
  opNone = 0,
  opIsBlank = 1,
  opNotBlank = 2,
  opEqual = 3,
  opNotEqual = 4,
  opGreater = 5,
  opLess = 6,
  opGreaterOrEqual = 7,
  opLessOrEqual = 8,
  opNot = 9,
  opAnd = 10,
  opOr = 11,
  opField = 13,
  opConstant = 14,
};

// Node classes of the compiled condition.
enum TExprNodeClass : std::uint32_t {
  ncUnary = 1,
  ncBinary = 2,
  ncCompare = 3,
  ncField = 4,
  ncConstant = 5,
};

// A tree node. Value: a field's name (text); a constant's text, Null, or the integers 1 and 0
// for True and False (Locate hands any variant). Comparisons, AND and OR use both operands, NOT
// only Left. Partial is set by Locate on its last comparison: a string equality then compares
// only as many leading characters as the value has.
struct TExprNode {
  TExprNodeKind Kind = TExprNodeKind::Constant;
  bool Partial = false;
  TExprOperator Operator = opNone;
  TVariant Value;
  // A constant written as an unquoted number: read with '.' as the decimal point whatever the
  // forms; every other text constant is read in the expression's constant forms.
  bool UnquotedNumber = false;
  // The byte offset in the filter text where the node's token starts (for a comparison, AND,
  // OR and NOT the operator's); none for nodes Locate builds. Errors about the node carry it.
  std::optional<std::size_t> Position;
  TExprNode* Left = nullptr;
  TExprNode* Right = nullptr;
};

class TFilterExpr {
 public:
  // options: foCaseInsensitive, foNoPartialCompare; forms: how text constants read.
  TFilterExpr(TDataSet& dataSet, TFilterOptions options,
              TConstantForms forms = TConstantForms::Locale);
  TFilterExpr(const TFilterExpr&) = delete;
  TFilterExpr& operator=(const TFilterExpr&) = delete;

  // A new node owned by this expression; the pointer stays valid as long as the expression.
  TExprNode* NewNode(TExprNodeKind kind, TExprOperator op, TVariant value, TExprNode* left,
                     TExprNode* right);
  // field = value, for Locate; set Partial on the returned node for a partial-key match.
  TExprNode* NewCompareNode(TField& field, TVariant value);

  // The compiled condition of the tree. Raises EDatabaseError for a tree that does not fit the
  // data set's fields, and EConvertError for a constant that does not read as its field's type;
  // about a node with a Position, EFilterError and EFilterConvertError at that position.
  std::vector<std::uint8_t> Compile(const TExprNode* root);

  TDataSet& DataSet() const { return dataSet_; }
  TFilterOptions Options() const { return options_; }
  TConstantForms Forms() const { return forms_; }

 private:
  TDataSet& dataSet_;
  TFilterOptions options_;
  TConstantForms forms_;
  std::list<TExprNode> nodes_;
};

}  // namespace katalog
