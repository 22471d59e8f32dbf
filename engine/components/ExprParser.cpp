#include "engine/components/ExprParser.h"

#include "engine/components/FilterError.h"
#include "platform/AsciiText.h"

namespace katalog {
namespace {

// The longest string literal kept; further characters are read and dropped.
constexpr std::size_t kMaxLiteral = 256;
// Parentheses nested deeper than this are refused, so that no text can exhaust the stack.
constexpr int kMaxNesting = 512;

using platform::AsciiUpper;
using platform::IsAsciiDigit;
using platform::IsAsciiLetter;

bool IsNumberChar(char c) {
  return IsAsciiDigit(c) || c == '+' || c == '-' || c == '.' || c == 'E' || c == 'e';
}
bool StartsSymbol(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return IsAsciiLetter(c) || c == '_' || (byte >= 129 && byte <= 254);
}
bool ContinuesSymbol(char c) {
  return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '_';
}

}  // namespace

TExprParser::TExprParser(TDataSet& dataSet, TFilterOptions options, std::string_view text,
                         TConstantForms forms)
    : expr_(dataSet, options, forms), text_(text) {
  NextToken();
  root_ = Expression();
  if (token_ != tkEnd) Fault("Filter expression incorrectly terminated");
  condition_ = expr_.Compile(root_);
}

// The character `ahead` places on; a zero byte at the end of the text, as within it.
char TExprParser::Peek(std::size_t ahead) const {
  const std::size_t at = position_ + ahead;
  return at < text_.size() ? text_[at] : '\0';
}

void TExprParser::Fault(std::string message) const {
  FilterError(std::move(message), tokenStart_);
}

TExprNode* TExprParser::NewNode(TExprNodeKind kind, TExprOperator op, TVariant value,
                                TExprNode* left, TExprNode* right, std::size_t position) {
  TExprNode* node = expr_.NewNode(kind, op, std::move(value), left, right);
  node->Position = position;
  return node;
}

void TExprParser::NextToken() {
  while (Peek() >= 1 && static_cast<unsigned char>(Peek()) <= 32) ++position_;
  tokenStart_ = position_;
  tokenText_.clear();
  tokenIsNumber_ = false;
  const char c = Peek();
  if (c == '\0') {
    token_ = tkEnd;
    return;
  }
  ++position_;
  switch (c) {
    case '\'':
      ReadString();
      token_ = tkLiteral;
      return;
    case '(':
      token_ = tkLeftParen;
      return;
    case ')':
      token_ = tkRightParen;
      return;
    case '=':
      token_ = tkEqual;
      return;
    case '<':
      token_ = tkLess;
      if (Peek() == '=') token_ = tkLessOrEqual;
      if (Peek() == '>') token_ = tkNotEqual;
      if (token_ != tkLess) ++position_;
      return;
    case '>':
      token_ = tkGreater;
      if (Peek() == '=') {
        token_ = tkGreaterOrEqual;
        ++position_;
      }
      return;
    case '[': {
      const std::size_t close = text_.find(']', position_);
      const std::size_t zero = text_.find('\0', position_);
      if (close == std::string::npos || zero < close) Fault("Unterminated field name");
      tokenText_ = text_.substr(position_, close - position_);
      position_ = close + 1;
      token_ = tkName;
      return;
    }
    default:
      break;
  }
  if (c == '-' || IsAsciiDigit(c)) {
    while (IsNumberChar(Peek())) ++position_;
    tokenText_ = text_.substr(tokenStart_, position_ - tokenStart_);
    tokenIsNumber_ = true;
    token_ = tkLiteral;
  } else if (StartsSymbol(c)) {
    while (ContinuesSymbol(Peek())) ++position_;
    tokenText_ = text_.substr(tokenStart_, position_ - tokenStart_);
    token_ = tkSymbol;
  } else {
    Fault("Invalid filter expression character: '" + std::string(1, c) + "'");
  }
}

// The characters after the opening quote up to the closing one; '' stands for one quote.
void TExprParser::ReadString() {
  for (;;) {
    const char c = Peek();
    if (c == '\0') Fault("Unterminated string constant");
    ++position_;
    if (c == '\'') {
      if (Peek() != '\'') return;
      ++position_;
    }
    if (tokenText_.size() < kMaxLiteral) tokenText_.push_back(c);
  }
}

std::string TExprParser::TokenName() const {
  if (token_ == tkEnd) return "nothing";
  return "'" + text_.substr(tokenStart_, position_ - tokenStart_) + "'";
}

bool TExprParser::IsKeyword(std::string_view keyword) const {
  if (token_ != tkSymbol || tokenText_.size() != keyword.size()) return false;
  for (std::size_t i = 0; i < keyword.size(); ++i) {
    if (AsciiUpper(tokenText_[i]) != AsciiUpper(keyword[i])) return false;
  }
  return true;
}

TExprNode* TExprParser::Expression() {
  TExprNode* left = AndTerm();
  while (IsKeyword("OR")) {
    const std::size_t at = tokenStart_;
    NextToken();
    TExprNode* right = AndTerm();
    left = NewNode(TExprNodeKind::Operator, opOr, {}, left, right, at);
  }
  return left;
}

TExprNode* TExprParser::AndTerm() {
  TExprNode* left = NotTerm();
  while (IsKeyword("AND")) {
    const std::size_t at = tokenStart_;
    NextToken();
    TExprNode* right = NotTerm();
    left = NewNode(TExprNodeKind::Operator, opAnd, {}, left, right, at);
  }
  return left;
}

TExprNode* TExprParser::NotTerm() {
  if (!IsKeyword("NOT")) return Comparison();
  const std::size_t at = tokenStart_;
  NextToken();
  TExprNode* operand = Comparison();
  return NewNode(TExprNodeKind::Operator, opNot, {}, operand, nullptr, at);
}

TExprNode* TExprParser::Comparison() {
  TExprNode* left = Primary();
  TExprOperator op = opNone;
  switch (token_) {
    case tkEqual:
      op = opEqual;
      break;
    case tkNotEqual:
      op = opNotEqual;
      break;
    case tkGreaterOrEqual:
      op = opGreaterOrEqual;
      break;
    case tkLessOrEqual:
      op = opLessOrEqual;
      break;
    case tkGreater:
      op = opGreater;
      break;
    case tkLess:
      op = opLess;
      break;
    default:
      return left;
  }
  const std::size_t at = tokenStart_;
  NextToken();
  TExprNode* right = Primary();
  return NewNode(TExprNodeKind::Operator, op, {}, left, right, at);
}

TExprNode* TExprParser::Primary() {
  const std::size_t at = tokenStart_;
  TExprNode* node = nullptr;
  switch (token_) {
    case tkSymbol:
      if (IsKeyword("NULL")) {
        node = NewNode(TExprNodeKind::Constant, opNone, {}, nullptr, nullptr, at);
      } else if (IsKeyword("True") || IsKeyword("False")) {
        const std::int64_t value = IsKeyword("True") ? 1 : 0;
        node = NewNode(TExprNodeKind::Constant, opNone, value, nullptr, nullptr, at);
      } else {
        node = NewNode(TExprNodeKind::Field, opNone, tokenText_, nullptr, nullptr, at);
      }
      break;
    case tkName:
      node = NewNode(TExprNodeKind::Field, opNone, tokenText_, nullptr, nullptr, at);
      break;
    case tkLiteral:
      node = NewNode(TExprNodeKind::Constant, opNone, tokenText_, nullptr, nullptr, at);
      node->UnquotedNumber = tokenIsNumber_;
      break;
    case tkLeftParen:
      if (++depth_ > kMaxNesting) Fault("Incorrectly formed filter expression");
      NextToken();
      node = Expression();
      if (token_ != tkRightParen) Fault("')' expected but " + TokenName() + " found");
      --depth_;
      break;
    default:
      Fault("Expression expected but " + TokenName() + " found");
  }
  NextToken();
  return node;
}

}  // namespace katalog
