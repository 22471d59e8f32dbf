#include "engine/components/SessionList.h"
#include "dataset/FieldDefs.h"

#include <algorithm>

#include "dataset/DatabaseError.h"
#include "engine/components/Session.h"

namespace katalog {

bool SameName(std::string_view a, std::string_view b) {
  return SameFieldName(a, b);  // names of every kind compare alike
}

TIsamSessionList& Sessions() {
  static TIsamSessionList list;
  return list;
}

TIsamSessionList::TIsamSessionList() {
  default_ = new TIsamSession(nullptr, *this);
  default_->sessionName_ = "Default";  // no check: the list is still being made
}

TIsamSessionList::~TIsamSessionList() {
  while (!sessions_.empty()) delete sessions_.back();  // each leaves the list
}

void TIsamSessionList::Add(TIsamSession* session) {
  sessions_.push_back(session);
}

void TIsamSessionList::Remove(TIsamSession* session) {
  std::erase(sessions_, session);
}

TIsamSession* TIsamSessionList::FindSession(std::string_view name) const {
  if (name.empty()) return default_;
  for (TIsamSession* session : sessions_) {
    if (SameName(session->SessionName(), name)) return session;
  }
  return nullptr;
}

TIsamSession& TIsamSessionList::GetSession(std::string_view name) const {
  TIsamSession* session = FindSession(name);
  if (!session) DatabaseError("Session name " + std::string(name) + " is not valid.");
  return *session;
}

int TIsamSessionList::TakeAutoNumber() {
  std::lock_guard guard(lock_);
  const auto free = std::find(autoNumbers_.begin(), autoNumbers_.end(), false);
  const auto number = static_cast<int>(free - autoNumbers_.begin());
  if (free == autoNumbers_.end()) {
    autoNumbers_.push_back(true);
  } else {
    *free = true;
  }
  return number;
}

void TIsamSessionList::ReleaseAutoNumber(int number) {
  std::lock_guard guard(lock_);
  if (number >= 0 && number < static_cast<int>(autoNumbers_.size())) {
    autoNumbers_[static_cast<std::size_t>(number)] = false;
  }
}

}  // namespace katalog
