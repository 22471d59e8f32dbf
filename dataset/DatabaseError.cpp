#include "dataset/DatabaseError.h"

#include "platform/Component.h"

namespace katalog {

void DatabaseError(std::string_view text, const TComponent* component) {
  if (component && !component->Name().empty()) {
    throw EDatabaseError(component->Name() + ": " + std::string(text));
  }
  throw EDatabaseError(std::string(text));
}

}  // namespace katalog
