#include "engine/components/FilterError.h"

namespace katalog {

void FilterError(std::string message, std::optional<std::size_t> position) {
  if (position) throw EFilterError(std::move(message), *position);
  throw EDatabaseError(std::move(message));
}

void FilterConvertError(const std::string& message, std::optional<std::size_t> position) {
  if (position) throw EFilterConvertError(message, *position);
  throw EConvertError(message);
}

std::optional<std::size_t> FilterErrorPosition(const std::exception& error) {
  if (const auto* at = dynamic_cast<const TFilterErrorPosition*>(&error)) return at->Position();
  return std::nullopt;
}

}  // namespace katalog
