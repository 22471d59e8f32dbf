// TIsamTable: key ranges edited in key buffers, and the master/detail link that sets them.
#include <algorithm>
#include <cstring>

#include "dataset/DataSource.h"
#include "dataset/DatabaseError.h"
#include "dataset/Field.h"
#include "dataset/FieldText.h"
#include "engine/components/IsamTable.h"
#include "engine/table/DataFile.h"
#include "platform/ByteOrder.h"
#include "platform/ScopeGuard.h"

namespace katalog {

namespace {
constexpr int kCurrentRangeStart = 3, kCurrentRangeEnd = 4, kSavedKey = 5;
}  // namespace

void TIsamTable::SetKeyBuffer(int buffer, bool clear) {
  CheckBrowseMode();
  SetCurrentKeyBuffer(buffer);
  KeyBuffer(kSavedKey) = KeyBuffer(buffer);  // Cancel brings it back
  if (clear) BlankKeyBuffer(buffer);
  SetState(TDataSetState::KeyEntry);
  DataEvent(TDataEvent::DataSetChanged);
}

void TIsamTable::Post() {
  TIsamDataSet::Post();
  if (State() != TDataSetState::KeyEntry) return;
  DataEvent(TDataEvent::CheckBrowse);
  std::vector<std::uint8_t>& key = KeyBuffer(CurrentKeyBuffer());
  key[0] = 1;
  StoreI32(key.data() + 4, static_cast<std::int32_t>(IndexFields().size()));
  SetState(TDataSetState::Browsing);
}

void TIsamTable::Cancel() {
  TIsamDataSet::Cancel();
  if (State() != TDataSetState::KeyEntry) return;
  KeyBuffer(CurrentKeyBuffer()) = KeyBuffer(kSavedKey);
  SetState(TDataSetState::Browsing);
}

bool TIsamTable::SetCursorRange() {
  if (KeyBuffer(kRangeStart) == KeyBuffer(kCurrentRangeStart) &&
      KeyBuffer(kRangeEnd) == KeyBuffer(kCurrentRangeEnd)) {
    return false;
  }
  const TKeyContext context = Engine()->KeyContextFor(Engine()->Cursor().Slot());
  const std::size_t length = context.Index->KeyLength;
  // A bound without entered values leaves that end open.
  const auto keyOf = [&](int buffer, bool high) {
    std::vector<std::uint8_t> key(length);
    const std::vector<std::uint8_t>& source = KeyBuffer(buffer);
    int keep = 0;
    if (source[0] != 0) {
      BuildKey(context, source.data() + kKeyHeader, key.data());
      const int fields = std::min<int>(LoadI32(source.data() + 4), context.Index->FieldCount);
      for (int i = 0; i < fields; ++i) keep += 1 + context.Field(i).PhysicalSize;
    }
    high ? FillHigh(context, key.data(), keep) : FillLow(context, key.data(), keep);
    return key;
  };
  const std::vector<std::uint8_t> start = keyOf(kRangeStart, false);
  const std::vector<std::uint8_t> end = keyOf(kRangeEnd, true);
  Engine()->SetRange(start.data(), end.data());
  KeyBuffer(kCurrentRangeStart) = KeyBuffer(kRangeStart);
  KeyBuffer(kCurrentRangeEnd) = KeyBuffer(kRangeEnd);
  DropLookupCursor();
  return true;
}

bool TIsamTable::RangeInForce() {
  return KeyBuffer(kCurrentRangeStart)[0] != 0 || KeyBuffer(kCurrentRangeEnd)[0] != 0;
}

bool TIsamTable::ResetCursorRange() {
  if (!RangeInForce()) return false;
  Engine()->CancelRange();
  for (int buffer : {kCurrentRangeStart, kCurrentRangeEnd}) BlankKeyBuffer(buffer);
  DropLookupCursor();
  return true;
}

void TIsamTable::ApplyRange() {
  CheckBrowseMode();
  if (SetCursorRange()) First();
}

void TIsamTable::CancelRange() {
  CheckBrowseMode();
  UpdateCursorPos();
  if (ResetCursorRange()) Resync(0);
}

void TIsamTable::FillRangeBuffer(int buffer, const std::vector<TVariant>& values) {
  const TDataSetState saved = SetTempState(TDataSetState::KeyEntry);
  SetCurrentKeyBuffer(buffer);
  const platform::TScopeFail restore([&] { RestoreState(saved); });
  BlankKeyBuffer(buffer);
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i >= IndexFields().size()) DatabaseError("Field index out of range");
    TField* field = FieldNumbered(IndexFields()[i]);
    if (!field) {
      const auto& d = Engine()->WorkingFields()[static_cast<std::size_t>(IndexFields()[i] - 1)];
      DatabaseError(FormatMessage("Cannot access index field '%s'", {d.Name}));
    }
    field->SetValueVariant(values[i]);
  }
  std::vector<std::uint8_t>& key = KeyBuffer(buffer);
  key[0] = 1;
  StoreI32(key.data() + 4, static_cast<std::int32_t>(values.size()));
  RestoreState(saved);
}

void TIsamTable::SetRange(const std::vector<TVariant>& startValues,
                          const std::vector<TVariant>& endValues) {
  CheckBrowseMode();
  FillRangeBuffer(kRangeStart, startValues);
  FillRangeBuffer(kRangeEnd, endValues);
  if (SetCursorRange()) First();
}

// --- master and detail ---

void TIsamTable::SetMasterSource(TDataSource* source) {
  if (source && IsLinkedTo(source)) DatabaseError("Circular datalinks are not allowed", this);
  masterLink_.SetDataSource(source);
}

void TIsamTable::SetRangeFromMaster() {
  std::vector<TVariant> values;
  for (const TField* master : masterLink_.Fields()) values.push_back(master->ValueVariant());
  FillRangeBuffer(kRangeStart, values);
  KeyBuffer(kRangeEnd) = KeyBuffer(kRangeStart);  // the range is one key value
}

void TIsamTable::MasterChanged() {
  CheckBrowseMode();
  SetRangeFromMaster();
  if (SetCursorRange()) First();
}

void TIsamTable::MasterDisabled() {
  CheckBrowseMode();
  UpdateCursorPos();
  if (ResetCursorRange()) Resync(0);
}

void TIsamTable::DoOnNewRecord() {
  const std::vector<TField*>& masters = masterLink_.Fields();
  if (masterLink_.Active() && !masters.empty()) {
    for (std::size_t i = 0; i < masters.size() && i < IndexFields().size(); ++i) {
      if (TField* field = FieldNumbered(IndexFields()[i])) {
        field->SetValueVariant(masters[i]->ValueVariant());
      }
    }
  }
  TIsamDBDataSet::DoOnNewRecord();
}

}  // namespace katalog
