#include "engine/components/IsamTable.h"

#include "dataset/DatabaseError.h"
#include "engine/components/Database.h"
#include "engine/components/PasswordHook.h"
#include "engine/components/SessionList.h"
#include "engine/storage/IsamError.h"
#include "engine/table/DataFile.h"
#include "platform/ScopeGuard.h"

namespace katalog {

namespace {
constexpr std::size_t kMaxPath = 255;
}  // namespace

TIsamTable::TIsamTable(TComponent* owner)
    : TIsamDBDataSet(owner),
      masterLink_([this] { MasterChanged(); }, [this] { MasterDisabled(); },
                  [this] {
                    if (Active()) CheckBrowseMode();
                  },
                  [this] { return Active() && (ComponentState() & csDestroying) == 0; }) {}

TIsamTable::~TIsamTable() {
  Destroying();
  Close();
  masterLink_.SetDataSource(nullptr);
}

void TIsamTable::SetTableName(std::string name) {
  CheckInactive();
  tableName_ = std::move(name);
  DataEvent(TDataEvent::PropertyChanged);
}

void TIsamTable::SetExclusive(bool value) {
  CheckInactive();
  exclusive_ = value;
}

void TIsamTable::SetReadOnly(bool value) {
  CheckInactive();
  readOnly_ = value;
}

void TIsamTable::SetInMemory(bool value) {
  CheckInactive();
  inMemory_ = value;
}

void TIsamTable::SetStrictChangeDetection(bool value) {
  CheckInactive();
  strictChangeDetection_ = value;
}

void TIsamTable::SetForceBufferFlush(bool value) {
  CheckInactive();
  forceBufferFlush_ = value;
}

void TIsamTable::SetLockRetryCount(std::uint8_t value) {
  if (value == lockRetryCount_) return;
  lockRetryCount_ = value;
  if (Engine()) Engine()->SetLockRetryCount(value);
}

void TIsamTable::SetLockWaitTime(std::uint16_t value) {
  if (value == lockWaitTime_) return;
  lockWaitTime_ = value;
  if (Engine()) Engine()->SetLockWaitTime(value);
}

bool TIsamTable::AskPassword() {
  TIsamSession* session = DBSession();
  if (!session) return false;
  if (session->OnPassword()) {
    bool continueOpening = false;
    session->OnPassword()(*session, continueOpening);
    return continueOpening;
  }
  return ShowPasswordDialog(*session);
}

std::unique_ptr<TDataFile> TIsamTable::CreateEngineCursor() {
  indexDefs_.SetUpdated(false);
  const std::string index = ResolveIndexName();
  auto file = OpenDataFile(exclusive_);
  readOnly_ = file->ReadOnly();
  SelectIndex(*file, index);
  return file;
}

std::string TIsamTable::TablePath() const {
  if (tableName_.empty()) DatabaseError("Missing table name.");
  std::string path = Database() ? Database()->TableDirectory() : std::string();
  const std::size_t first = path.find_first_not_of(' ');
  path = first == std::string::npos ? std::string()
                                    : path.substr(first, path.find_last_not_of(' ') - first + 1);
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '/';
  path += tableName_;
  if (path.size() > kMaxPath) path.resize(kMaxPath);
  return path;
}

std::unique_ptr<TDataFile> TIsamTable::OpenDataFile(bool exclusive) {
  const std::string path = TablePath();
  auto file = std::make_unique<TDataFile>();
  file->SetFileName(path);
  file->SetExclusive(exclusive);
  file->SetReadOnly(readOnly_);
  file->SetInMemory(inMemory_);
  file->SetStrictChangeDetection(strictChangeDetection_);
  file->SetForceBufferFlush(forceBufferFlush_);
  file->SetLockRetryCount(lockRetryCount_);
  file->SetLockWaitTime(lockWaitTime_);
  file->SetPasswordCallback([this] { return AskPassword(); });
  const platform::TScopeExit forgetCallback([&] { file->SetPasswordCallback({}); });
  file->Open();
  return file;
}

void TIsamTable::SelectIndex(TDataFile& file, const std::string& name) {
  if (!name.empty()) {
    bool known = false;
    for (int slot = 0; slot <= file.IndexFile().SecondaryCount() && !known; ++slot) {
      known = SameName(file.IndexFile().Descriptor(slot).Name, name);
    }
    if (!known) RaiseIsamError(ie::kInvalidIndexName, file.FileName(), {}, name);
  }
  file.SetIndexByName(name);
}

}  // namespace katalog
