// TIsamSessionList: the one list of all sessions, in creation order, with the process-wide lock
// that serialises session start and stop and every engine call made under a session lock, and
// the auto-session numbers in use. The first use creates it together with the default session,
// "Default", which has no owner; a data set or database with an empty SessionName uses it.
#pragma once

#include <mutex>
#include <string_view>
#include <vector>

namespace katalog {

class TIsamSession;

class TIsamSessionList {
 public:
  TIsamSessionList(const TIsamSessionList&) = delete;
  TIsamSessionList& operator=(const TIsamSessionList&) = delete;

  // The default session for an empty name; else the first session whose SessionName equals
  // the name ignoring case; none when there is none.
  TIsamSession* FindSession(std::string_view name) const;
  // As FindSession; none raises "Session name %s is not valid.".
  TIsamSession& GetSession(std::string_view name) const;
  TIsamSession& DefaultSession() const { return *default_; }
  const std::vector<TIsamSession*>& List() const { return sessions_; }

  std::recursive_mutex& Lock() { return lock_; }
  // The lowest unused auto-session number, marked used; and its release.
  int TakeAutoNumber();
  void ReleaseAutoNumber(int number);

 private:
  friend class TIsamSession;
  friend TIsamSessionList& Sessions();
  TIsamSessionList();
  ~TIsamSessionList();

  void Add(TIsamSession* session);
  void Remove(TIsamSession* session);

  std::vector<TIsamSession*> sessions_;
  TIsamSession* default_ = nullptr;
  std::vector<bool> autoNumbers_;
  std::recursive_mutex lock_;
};

// The session list, created with the default session on first use.
TIsamSessionList& Sessions();

// Session and database names compare without regard to case (the user's locale).
bool SameName(std::string_view a, std::string_view b);

}  // namespace katalog
