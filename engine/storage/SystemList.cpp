#include "engine/storage/SystemList.h"

namespace katalog {

void RaiseListIndexError(int index) {
  throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

void RaiseListCapacityError(int capacity) {
  throw EListError("List capacity out of bounds (" + std::to_string(capacity) + ")");
}

int GrownListCapacity(int capacity) {
  if (capacity > 64) return capacity + capacity / 4;
  if (capacity > 8) return capacity + 16;
  return capacity + 4;
}

}  // namespace katalog
