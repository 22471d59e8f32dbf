// The errors of a filter text that say where in the text the fault lies. Each keeps the type and
// the message of the error it stands for (EFilterError is an EDatabaseError, EFilterConvertError
// an EConvertError), so every handler of those sees it as before. Their common base
// TFilterErrorPosition gives the byte offset in the text as the parser was given it (the
// table's code page): where the offending token starts, for a quoted constant its opening quote,
// and the text's length when the text ended too early.
#pragma once

#include <cstddef>
#include <exception>
#include <optional>
#include <string>

#include "dataset/DatabaseError.h"

namespace katalog {

class TFilterErrorPosition {
 public:
  explicit TFilterErrorPosition(std::size_t position) : position_(position) {}
  virtual ~TFilterErrorPosition() = default;

  std::size_t Position() const { return position_; }

 private:
  std::size_t position_;
};

// A filter text that does not parse, or names what the data set cannot compare.
class EFilterError : public EDatabaseError, public TFilterErrorPosition {
 public:
  EFilterError(std::string message, std::size_t position)
      : EDatabaseError(std::move(message)), TFilterErrorPosition(position) {}
};

// A constant of a filter text that does not read as its field's type.
class EFilterConvertError : public EConvertError, public TFilterErrorPosition {
 public:
  EFilterConvertError(const std::string& message, std::size_t position)
      : EConvertError(message), TFilterErrorPosition(position) {}
};

// Raise the positioned error, or the plain one when there is no position: trees that Locate
// builds come from no text.
[[noreturn]] void FilterError(std::string message, std::optional<std::size_t> position);
[[noreturn]] void FilterConvertError(const std::string& message,
                                     std::optional<std::size_t> position);

// The position an exception carries when it is one of the errors above.
std::optional<std::size_t> FilterErrorPosition(const std::exception& error);

}  // namespace katalog
