// TVariant: a field value of any type, as Locate, Lookup and lookup fields exchange them. The
// empty alternative is Null; dates travel as their day-based floating value.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace katalog {

using TVariant = std::variant<std::monostate, bool, std::int64_t, double, std::string>;

inline bool IsNull(const TVariant& value) {
  return std::holds_alternative<std::monostate>(value);
}

}  // namespace katalog
