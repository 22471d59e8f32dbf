// EDatabaseError: the exception of the data-set framework and of everything built on it.
// Raised on behalf of a named component its message is "<name>: <text>", otherwise the bare text.
#pragma once

#include <exception>
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

// Raises EDatabaseError with the text, prefixed with the component's name when it has one.
[[noreturn]] void DatabaseError(std::string_view text, const TComponent* component = nullptr);

}  // namespace katalog
