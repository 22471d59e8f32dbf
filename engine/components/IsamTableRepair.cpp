// TIsamTable's repair: the engine's table repair run on the table's files in its session, with
// the table's repair events.
#include "dataset/DatabaseError.h"
#include "engine/components/IsamTable.h"
#include "engine/components/Session.h"
#include "engine/table/TableRepair.h"
#include "platform/ScopeGuard.h"

namespace katalog {

namespace {
// The database-use reason held while the table is repaired.
constexpr int kRepairing = 6;
}  // namespace

TRepairOutcome TIsamTable::RepairTable() {
  CheckInactive();
  if (inMemory_) DatabaseError("An in-memory table cannot be repaired.", this);
  SetDatabaseUse(kRepairing, true);
  TRepairOutcome outcome = TRepairOutcome::Sound;
  {
    const platform::TScopeExit repaired([&] { SetDatabaseUse(kRepairing, false); });
    // The session's file session is the current one for the whole repair: its passwords count.
    TSessionLock lock(*DBSession());
    TRepairEvents events;
    events.Progress = [this](int percentDone, bool& abort) {
      if (onRepairProgress_) onRepairProgress_(*this, percentDone, abort);
    };
    events.Log = [this](const std::string& line) {
      if (onRepairLog_) onRepairLog_(*this, line);
    };
    events.Password = [this] { return AskPassword(); };
    outcome = katalog::RepairTable(TablePath(), events);
  }
  // Index definitions that could not be kept are gone.
  indexDefs_.SetUpdated(false);
  return outcome;
}

}  // namespace katalog
