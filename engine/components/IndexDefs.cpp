#include "engine/components/IndexDefs.h"

#include "engine/components/SessionList.h"

namespace katalog {

const TIndexDef* TIndexDefs::FindIndexForFields(std::string_view fields,
                                                bool caseInsensitive) const {
  auto usable = [&](const TIndexDef& def) {
    if ((def.Options & (ixDescending | ixExpression)) != 0) return false;
    return !caseInsensitive || (def.Options & ixCaseInsensitive) != 0;
  };
  for (const TIndexDef& def : items_) {
    if (usable(def) && SameName(def.Fields, fields)) return &def;
  }
  for (const TIndexDef& def : items_) {
    if (!usable(def) || def.Fields.size() < fields.size()) continue;
    const std::string_view head = std::string_view(def.Fields).substr(0, fields.size());
    const bool ends = def.Fields.size() == fields.size() || def.Fields[fields.size()] == ';';
    if (ends && SameName(head, fields)) return &def;
  }
  return nullptr;
}

}  // namespace katalog
