#include "engine/index/ComputedExpression.h"
#include "dataset/FieldDefs.h"

#include <charconv>
#include <cstring>

#include "engine/storage/IsamError.h"
#include "platform/AsciiText.h"

namespace katalog {
namespace {

// Deeper nesting than this is refused, so that no text can exhaust the stack.
constexpr int kMaxDepth = 200;

struct TFunctionName {
  const char* Name;
  int Operator;
};
constexpr TFunctionName kFunctions[] = {
    {"UPPER", fo::kUpper},       {"LOWER", fo::kLower},        {"SUBSTRING", fo::kSubstring},
    {"LTRIM", fo::kTrimLeading}, {"RTRIM", fo::kTrimTrailing}, {"TRIM", fo::kTrimBoth},
    {"YEAR", fo::kYear},         {"MONTH", fo::kMonth},        {"DAY", fo::kDay},
};

using platform::EqualsIgnoringAsciiCase;

std::unique_ptr<TFilterNode> Node(int nodeClass, int op, std::unique_ptr<TFilterNode> left = {},
                                  std::unique_ptr<TFilterNode> right = {}) {
  auto node = std::make_unique<TFilterNode>();
  node->Class = nodeClass;
  node->Operator = op;
  node->Left = std::move(left);
  node->Right = std::move(right);
  return node;
}

class TExpressionReader {
 public:
  TExpressionReader(std::string_view text, const std::vector<TFieldDescriptor>& fields,
                    const std::string& fileName)
      : text_(text), fields_(fields), fileName_(fileName) {}

  std::unique_ptr<TFilterNode> Read() {
    auto root = Or(0);
    Skip();
    if (at_ != text_.size()) Fail();
    return root;
  }

 private:
  [[noreturn]] void Fail() const { RaiseIsamError(ie::kInvalidFilterExpression, fileName_); }
  void Skip() {
    while (at_ < text_.size() && static_cast<unsigned char>(text_[at_]) <= ' ') ++at_;
  }
  bool Take(std::string_view symbol) {
    Skip();
    if (text_.substr(at_, symbol.size()) != symbol) return false;
    at_ += symbol.size();
    return true;
  }
  static bool WordChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return platform::IsAsciiLetter(c) || platform::IsAsciiDigit(c) || c == '_' ||
           (u >= 129 && u <= 254);
  }
  std::string_view PeekWord() {
    Skip();
    std::size_t end = at_;
    while (end < text_.size() && WordChar(text_[end]) &&
           !(end == at_ && text_[end] >= '0' && text_[end] <= '9')) {
      ++end;
    }
    return text_.substr(at_, end - at_);
  }
  bool TakeWord(std::string_view word) {
    if (!EqualsIgnoringAsciiCase(PeekWord(), word)) return false;
    at_ += word.size();
    return true;
  }
  void Deeper(int depth) const {
    if (depth > kMaxDepth) Fail();
  }

  std::unique_ptr<TFilterNode> Or(int depth) {
    Deeper(depth);
    auto left = And(depth + 1);
    while (TakeWord("OR")) left = Node(fc::kBinary, fo::kOr, std::move(left), And(depth + 1));
    return left;
  }
  std::unique_ptr<TFilterNode> And(int depth) {
    auto left = Not(depth + 1);
    while (TakeWord("AND")) left = Node(fc::kBinary, fo::kAnd, std::move(left), Not(depth + 1));
    return left;
  }
  std::unique_ptr<TFilterNode> Not(int depth) {
    Deeper(depth);
    if (TakeWord("NOT")) return Node(fc::kUnary, fo::kNot, Not(depth + 1));
    return Comparison(depth + 1);
  }
  std::unique_ptr<TFilterNode> Comparison(int depth) {
    auto left = Sum(depth + 1);
    static constexpr std::pair<std::string_view, int> kRelations[] = {
        {"<>", fo::kNotEqual}, {"<=", fo::kLessEqual}, {">=", fo::kGreaterEqual},
        {"=", fo::kEqual},     {"<", fo::kLess},       {">", fo::kGreater}};
    for (const auto& [symbol, op] : kRelations) {
      if (Take(symbol)) return Node(fc::kBinary, op, std::move(left), Sum(depth + 1));
    }
    return left;
  }
  std::unique_ptr<TFilterNode> Sum(int depth) {
    auto left = Product(depth + 1);
    for (;;) {
      if (Take("+")) {
        left = Node(fc::kBinary, fo::kAdd, std::move(left), Product(depth + 1));
      } else if (Take("-")) {
        left = Node(fc::kBinary, fo::kSubtract, std::move(left), Product(depth + 1));
      } else {
        return left;
      }
    }
  }
  std::unique_ptr<TFilterNode> Product(int depth) {
    auto left = Unary(depth + 1);
    for (;;) {
      if (Take("*")) {
        left = Node(fc::kBinary, fo::kMultiply, std::move(left), Unary(depth + 1));
      } else if (Take("/")) {
        left = Node(fc::kBinary, fo::kDivide, std::move(left), Unary(depth + 1));
      } else {
        return left;
      }
    }
  }
  std::unique_ptr<TFilterNode> Unary(int depth) {
    Deeper(depth);
    if (Take("-")) return Node(fc::kUnary, fo::kNegate, Unary(depth + 1));
    if (Take("+")) return Node(fc::kUnary, fo::kPlus, Unary(depth + 1));
    return Primary(depth + 1);
  }

  std::unique_ptr<TFilterNode> Primary(int depth) {
    Skip();
    if (at_ >= text_.size()) Fail();
    const char c = text_[at_];
    if (c == '(') {
      ++at_;
      auto inner = Or(depth + 1);
      if (!Take(")")) Fail();
      return inner;
    }
    if (c == '\'') return Text();
    if ((c >= '0' && c <= '9') || c == '.') return Number();
    if (c == '[') {
      const std::size_t close = text_.find(']', at_);
      if (close == std::string_view::npos) Fail();
      const std::string_view name = text_.substr(at_ + 1, close - at_ - 1);
      at_ = close + 1;
      return Field(name);
    }
    const std::string_view word = PeekWord();
    if (word.empty()) Fail();
    at_ += word.size();
    if (EqualsIgnoringAsciiCase(word, "NULL")) return Constant({});
    if (EqualsIgnoringAsciiCase(word, "TRUE") || EqualsIgnoringAsciiCase(word, "FALSE")) {
      TFilterValue v;
      v.Type = ft::kBoolean;
      v.Null = false;
      v.Integer = EqualsIgnoringAsciiCase(word, "TRUE");
      return Constant(v);
    }
    for (const TFunctionName& function : kFunctions) {
      if (EqualsIgnoringAsciiCase(word, function.Name) && Take("("))
        return Function(function.Operator, depth);
    }
    return Field(word);
  }

  // A function's first argument is its Left; further ones chain on the Right.
  std::unique_ptr<TFilterNode> Function(int op, int depth) {
    auto node = Node(fc::kFunction, op, Or(depth + 1));
    std::unique_ptr<TFilterNode>* next = &node->Right;
    while (Take(",")) {
      *next = Or(depth + 1);
      next = &(*next)->Right;
    }
    if (!Take(")")) Fail();
    return node;
  }

  std::unique_ptr<TFilterNode> Constant(const TFilterValue& value) {
    auto node = Node(fc::kConstant, 14);
    node->Value = value;
    return node;
  }

  std::unique_ptr<TFilterNode> Text() {
    std::string text;
    for (++at_;; ++at_) {
      if (at_ >= text_.size()) Fail();
      if (text_[at_] == '\'') {
        if (at_ + 1 < text_.size() && text_[at_ + 1] == '\'') {
          text += '\'';
          ++at_;
          continue;
        }
        ++at_;
        break;
      }
      text += text_[at_];
    }
    TFilterValue v;
    v.Type = ft::kString;
    v.Null = text.empty();
    v.Text = std::move(text);
    return Constant(v);
  }

  std::unique_ptr<TFilterNode> Number() {
    const char* begin = text_.data() + at_;
    const char* end = text_.data() + text_.size();
    TFilterValue v;
    v.Null = false;
    std::int32_t whole = 0;
    const auto integer = std::from_chars(begin, end, whole);
    const auto real = std::from_chars(begin, end, v.Float);
    if (real.ec != std::errc{}) Fail();
    if (integer.ec == std::errc{} && integer.ptr == real.ptr) {
      v.Type = ft::kInteger;
      v.Integer = whole;
    } else {
      v.Type = ft::kFloat;
    }
    at_ += static_cast<std::size_t>(real.ptr - begin);
    return Constant(v);
  }

  std::unique_ptr<TFilterNode> Field(std::string_view name) {
    for (const TFieldDescriptor& field : fields_) {
      if (SameFieldName(field.Name, name)) {
        auto node = Node(fc::kField, 13);
        node->FieldName = field.Name;
        node->FieldNumber = field.FieldNumber;
        node->Value.Type = field.FieldTypeCode;
        node->Value.Decimals = field.PhysicalScale;
        return node;
      }
    }
    RaiseIsamError(ie::kInvalidField, fileName_, name);
  }

  std::string_view text_;
  const std::vector<TFieldDescriptor>& fields_;
  const std::string& fileName_;
  std::size_t at_ = 0;
};

}  // namespace

std::unique_ptr<TFilterNode> ParseComputedExpression(std::string_view text,
                                                     const std::vector<TFieldDescriptor>& fields,
                                                     const std::string& fileName) {
  return TExpressionReader(text, fields, fileName).Read();
}

}  // namespace katalog
