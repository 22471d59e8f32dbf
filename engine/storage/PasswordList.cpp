#include "engine/storage/PasswordList.h"

#include "platform/Locale.h"

namespace katalog {
namespace {

constexpr std::size_t kMaxPasswordEntry = 255;

}  // namespace

void TPasswordList::Add(std::string_view password) {
  if (password.empty()) return;
  entries_.Add(std::string(password.substr(0, kMaxPasswordEntry)));
}

void TPasswordList::Remove(std::string_view password) {
  const int i = IndexOf(password);
  if (i >= 0) entries_.Delete(i);
}

bool TPasswordList::Contains(std::string_view password) const {
  return IndexOf(password) >= 0;
}

int TPasswordList::IndexOf(std::string_view password) const {
  const platform::TLocale& locale = platform::UserDefaultLocale();
  for (int i = 0; i < entries_.Count(); ++i) {
    if (locale.Compare(platform::kSortStringSort, entries_[i], password) == 0) return i;
  }
  return -1;
}

}  // namespace katalog
