// TPasswordList: the table passwords a file session knows, each a short string (at most 255
// characters). Entries compare with the user locale's case-sensitive comparison. Owned by the
// file session; it never reaches a disk.
#pragma once

#include <string>
#include <string_view>

#include "engine/storage/SystemList.h"

namespace katalog {

class TPasswordList {
 public:
  // Appends a non-empty password (duplicates are accepted here; the session avoids them).
  void Add(std::string_view password);
  // Removes the first entry equal to the password.
  void Remove(std::string_view password);
  void Clear() { entries_.Clear(); }
  bool Contains(std::string_view password) const;
  int Count() const { return entries_.Count(); }

 private:
  int IndexOf(std::string_view password) const;

  TSystemList<std::string> entries_;
};

}  // namespace katalog
