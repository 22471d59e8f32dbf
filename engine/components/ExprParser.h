// TExprParser: reads a filter text such as "DE_1 <> 'profilterit'" into an expression tree and
// compiles it against a data set's fields, all in the constructor. It owns the TFilterExpr that
// owns the tree, and the compiled condition; the engine's filter takes its own copy.
//
// Grammar (keywords OR, AND, NOT, NULL, True and False in any ASCII letter case):
//   expression := and-term { OR and-term }          left-grouping, operator 11
//   and-term   := not-term { AND not-term }         left-grouping, operator 10
//   not-term   := NOT comparison | comparison       operator 9
//   comparison := primary [ relation primary ]      = <> >= <= > <
//   primary    := NULL | True | False | symbol | [bracketed name] | literal | ( expression )
// A second NOT in a row is read as a field named NOT; so is any keyword where a primary is due.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dataset/FieldType.h"
#include "engine/components/FilterExpr.h"

namespace katalog {

class TDataSet;

class TExprParser {
 public:
  // Parses and compiles, reading text constants in `forms`. When the text is not a valid
  // condition it keeps nothing and raises EFilterError (an EDatabaseError), or
  // EFilterConvertError (an EConvertError) for a constant that does not read as its field's
  // type; both carry the byte offset in `text` where the fault lies (FilterError.h). Only a
  // condition too large for the compiled layout is a plain EDatabaseError.
  TExprParser(TDataSet& dataSet, TFilterOptions options, std::string_view text,
              TConstantForms forms = TConstantForms::Locale);
  TExprParser(const TExprParser&) = delete;
  TExprParser& operator=(const TExprParser&) = delete;

  const std::vector<std::uint8_t>& Condition() const { return condition_; }
  std::size_t ConditionSize() const { return condition_.size(); }
  // The parsed tree, owned by this parser.
  const TExprNode* Root() const { return root_; }

 private:
  // Token codes of the tokenizer.
  enum TToken : std::uint8_t {
    tkEnd = 0,
    tkSymbol = 1,
    tkName = 2,
    tkLiteral = 3,
    tkLeftParen = 4,
    tkRightParen = 5,
    tkEqual = 6,
    tkNotEqual = 7,
    tkGreaterOrEqual = 8,
    tkLessOrEqual = 9,
    tkGreater = 10,
    tkLess = 11,
  };

  // Raises EFilterError at the current token.
  [[noreturn]] void Fault(std::string message) const;
  TExprNode* NewNode(TExprNodeKind kind, TExprOperator op, TVariant value, TExprNode* left,
                     TExprNode* right, std::size_t position);
  void NextToken();
  void ReadString();
  char Peek(std::size_t ahead = 0) const;
  // "nothing" at the end of the text, else the token's source characters in single quotes.
  std::string TokenName() const;
  bool IsKeyword(std::string_view keyword) const;

  TExprNode* Expression();
  TExprNode* AndTerm();
  TExprNode* NotTerm();
  TExprNode* Comparison();
  TExprNode* Primary();

  TFilterExpr expr_;
  std::string text_;
  std::size_t position_ = 0;
  std::size_t tokenStart_ = 0;
  TToken token_ = tkEnd;
  std::string tokenText_;
  bool tokenIsNumber_ = false;
  int depth_ = 0;
  TExprNode* root_ = nullptr;
  std::vector<std::uint8_t> condition_;
};

}  // namespace katalog
