#include "tools/isamtool/JsonRows.h"

#include <nlohmann/json.hpp>

namespace katalog::isamtool {

namespace {

// Collects the members of one flat object as the parser meets them.
class TFlatObject : public nlohmann::json_sax<nlohmann::json> {
 public:
  explicit TFlatObject(TJsonMembers& members) : members_(members) {}
  std::string error;

  bool null() override { return Value(std::nullopt); }
  bool boolean(bool value) override { return Value(value ? "true" : "false"); }
  bool number_integer(number_integer_t value) override { return Value(std::to_string(value)); }
  bool number_unsigned(number_unsigned_t value) override { return Value(std::to_string(value)); }
  bool number_float(number_float_t, const string_t& text) override { return Value(text); }
  bool string(string_t& value) override { return Value(value); }
  bool binary(binary_t&) override { return Nested(); }
  bool start_object(std::size_t) override { return ++depth_ == 1 || Nested(); }
  bool key(string_t& name) override {
    key_ = name;
    return true;
  }
  bool end_object() override { return --depth_ == 0; }
  bool start_array(std::size_t) override { return Nested(); }
  bool end_array() override { return false; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) override {
    // Without the library's own tag: "[json.exception.parse_error.101] parse error at ..."
    const std::string text = e.what();
    const std::size_t tag = text.find("] ");
    error = text[0] == '[' && tag != std::string::npos ? text.substr(tag + 2) : text;
    return false;
  }

 private:
  bool Value(std::optional<std::string> text) {
    members_.emplace_back(key_, std::move(text));
    return true;
  }
  bool Nested() {
    error = "key \"" + key_ + "\": an object or array is not a value";
    return false;
  }

  TJsonMembers& members_;
  std::string key_;
  int depth_ = 0;
};

}  // namespace

TJsonRowReader::TJsonRowReader(std::FILE* file) : input_(file) {}

int TJsonRowReader::SkipBlanks() {
  while (input_.Peek() == ' ' || input_.Peek() == '\t' || input_.Peek() == '\r' ||
         input_.Peek() == '\n')
    input_.Get();
  return input_.Peek();
}

void TJsonRowReader::Fail(const std::string& what) const {
  throw TInputError("line " + std::to_string(input_.Line()) + ": " + what);
}

bool TJsonRowReader::Next(TJsonMembers& members) {
  int c = SkipBlanks();
  if (shape_ == TShape::Unknown) {
    if (c == EOF) return false;
    if (c != '[' && c != '{') Fail("the input is neither a JSON array nor JSON objects");
    shape_ = c == '[' ? TShape::Array : TShape::Lines;
    if (c == '[') {
      input_.Get();
      c = SkipBlanks();
    }
  }
  if (shape_ == TShape::Array) {
    if (c == EOF) Fail("the array is not closed before the end of the input");
    if (c == ']') {
      input_.Get();
      shape_ = TShape::Ended;
      if (SkipBlanks() != EOF) Fail("text after the end of the array");
      return false;
    }
    if (!first_) {
      if (c != ',') Fail("',' or ']' expected between the array's objects");
      input_.Get();
      c = SkipBlanks();
    }
  }
  if (shape_ == TShape::Ended || c == EOF) return false;
  if (c != '{') Fail("a JSON object expected");
  first_ = false;
  objectLine_ = input_.Line();
  // The object's text up to its closing brace: braces and brackets counted outside strings.
  text_.clear();
  int depth = 0;
  bool inString = false, escaped = false;
  do {
    c = input_.Get();
    if (c == EOF) Fail("an object is not closed before the end of the input");
    text_ += static_cast<char>(c);
    if (escaped) {
      escaped = false;
    } else if (inString) {
      escaped = c == '\\';
      inString = c != '"';
    } else if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      ++depth;
    } else if (c == '}' || c == ']') {
      --depth;
    }
  } while (depth > 0);
  members.clear();
  TFlatObject object(members);
  if (!nlohmann::json::sax_parse(text_, &object)) {
    throw TInputError("line " + std::to_string(objectLine_) + ": " + object.error);
  }
  return true;
}

}  // namespace katalog::isamtool
