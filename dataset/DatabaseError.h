// The exceptions of the data-set framework. EDatabaseError is the framework's error and the base
// of the engine's; raised on behalf of a named component its message is "<name>: <text>",
// otherwise the bare text. EAbort ends an operation silently (an error handler chose to abort).
// EConvertError and EOverflow come from converting a value between text and number forms.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

namespace katalog {

class TComponent;

class EDatabaseError : public std::exception {
 public:
  explicit EDatabaseError(std::string message) : message_(std::move(message)) {}

  const std::string& Message() const { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

class EAbort : public std::exception {
 public:
  const char* what() const noexcept override { return "Operation aborted"; }
};

// Not database errors: the edit, post and delete error handlers are not offered them.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class EOverflow : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Raises EDatabaseError with the text, prefixed with the component's name when it has one.
[[noreturn]] void DatabaseError(std::string_view text, const TComponent* component = nullptr);

}  // namespace katalog
