#include "engine/storage/EngineMemory.h"

#include <stdexcept>

#include "engine/storage/IsamError.h"

namespace katalog {

void RaiseOutOfMemory() {
  RaiseIsamError(ie::kOutOfMemory);
}

std::vector<std::uint8_t> AllocateZeroed(std::size_t size) {
  return WithEngineMemory([size] { return std::vector<std::uint8_t>(size); });
}

}  // namespace katalog
