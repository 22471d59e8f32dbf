// TIsamTable: the order (IndexName, IndexFieldNames), IndexDefs and FieldDefs, and finding
// records by field values (Locate, Lookup) with the lookup cursor.
#include <algorithm>

#include "dataset/DatabaseError.h"
#include "dataset/Field.h"
#include "dataset/FieldText.h"
#include "engine/components/FilterExpr.h"
#include "engine/components/IsamTable.h"
#include "engine/components/SessionList.h"
#include "engine/storage/IsamError.h"
#include "engine/table/DataFile.h"
#include "platform/ScopeGuard.h"

namespace katalog {

namespace {
// Database-use reasons: field and index definitions being read.
constexpr int kReadingFieldDefs = 4;
constexpr int kReadingIndexDefs = 5;
}  // namespace

void TIsamTable::DataEventStep(TDataEvent event, TEventInfo& info) {
  if (event == TDataEvent::PropertyChanged) indexDefs_.SetUpdated(false);
  TIsamDBDataSet::DataEventStep(event, info);
}

void TIsamTable::UpdateFieldDefs() {
  if (Engine()) return LoadFieldDefs(*Engine());
  SetDatabaseUse(kReadingFieldDefs, true);
  const platform::TScopeExit done([&] { SetDatabaseUse(kReadingFieldDefs, false); });
  auto file = OpenDataFile(false);
  LoadFieldDefs(*file);
}

TIndexDefs& TIsamTable::IndexDefs() {
  if (indexDefs_.Updated()) return indexDefs_;
  SetDatabaseUse(kReadingIndexDefs, true);
  const platform::TScopeExit done([&] { SetDatabaseUse(kReadingIndexDefs, false); });
  UpdateFieldDefs();
  std::unique_ptr<TDataFile> temporary;
  if (!Engine()) temporary = OpenDataFile(false);
  TDataFile& file = Engine() ? *Engine() : *temporary;
  indexDefs_.Clear();
  for (int slot = 0; slot <= file.IndexFile().SecondaryCount(); ++slot) {
    const TIndexDescriptor& d = file.IndexFile().Descriptor(slot);
    if (d.FieldCount == 0) continue;  // a table without a primary index
    TIndexDef def;
    def.Name = d.Name;
    // The leading fields the data set shows. A field it leaves out (a 10-byte value) ends the
    // list: no list of field names can name it, so none may take this index for its own.
    for (int i = 0; i < d.FieldCount; ++i) {
      const TFieldDef* field = nullptr;
      for (int j = 0; j < FieldDefs().Count() && !field; ++j) {
        if (FieldDefs().Items(j).FieldNo() == d.FieldNumbers[static_cast<std::size_t>(i)]) {
          field = &FieldDefs().Items(j);
        }
      }
      if (!field) break;
      if (!def.Fields.empty()) def.Fields += ';';
      def.Fields += field->Name();
    }
    if (slot == 0) def.Options |= ixPrimary;
    if (d.Unique) def.Options |= ixUnique;
    if (d.Descending) def.Options |= ixDescending;
    if (d.CaseInsensitive) def.Options |= ixCaseInsensitive;
    indexDefs_.Add(std::move(def));
  }
  indexDefs_.SetUpdated(true);
  return indexDefs_;
}

std::string TIsamTable::ResolveIndexName() {
  if (order_.empty()) return {};
  IndexDefs();
  if (!fieldMode_) return order_;
  const TIndexDef* def = indexDefs_.FindIndexForFields(order_, false);
  if (!def) DatabaseError(FormatMessage("No index for fields '%s'", {order_}), this);
  return def->Name;
}

void TIsamTable::SetOrder(std::string text, bool fieldMode) {
  if (Active()) CheckBrowseMode();
  if (text == order_ && fieldMode == fieldMode_) return;
  if (!Active()) {
    order_ = std::move(text);
    fieldMode_ = fieldMode;
    return;
  }
  const std::string previous = order_;
  const bool previousMode = fieldMode_;
  const int previousSlot = Engine()->Cursor().Slot();
  order_ = std::move(text);
  fieldMode_ = fieldMode;
  {
    // A name no index has leaves the order in force, and its range with it. An index that
    // cannot take the master's values is left for the one the table had, with the master's
    // range on it again; a table that cannot go back closes.
    bool switching = false;
    const platform::TScopeFail restore([&] {
      order_ = previous;
      fieldMode_ = previousMode;
      if (!switching || !Active()) return;
      try {
        SwitchIndex(previousSlot);
        Resync(0);
      } catch (...) {
        Close();
      }
    });
    const int slot = IndexSlot(*Engine(), ResolveIndexName());
    switching = true;
    SwitchIndex(slot);
  }
  Resync(0);
}

void TIsamTable::SwitchIndex(int slot) {
  UpdateCursorPos();
  // A range is made of keys of the index it was set on; the new index starts without one.
  ResetCursorRange();
  for (int buffer : {kRangeStart, kRangeEnd}) BlankKeyBuffer(buffer);
  DropLookupCursor();
  Engine()->SetIndex(slot);
  {
    const platform::TScopeFail closeOnFailure([&] { Close(); });
    RebuildLayout();
    ReallocateBuffers();
    ReadIndexDescription();
  }
  if (!masterLink_.Active() || masterLink_.Fields().empty()) return;
  // The master's values go into the new index's leading fields. Setting the range leaves the
  // cursor before its first record; the record the table stood on is in the range still.
  const std::int32_t n = Engine()->CurrentRecordNumber();
  std::vector<std::uint8_t> record(Engine()->WorkingRecordSize());
  const bool onRecord = n != 0 && Engine()->GetCurrent(record.data(), false) == 0;
  SetRangeFromMaster();
  SetCursorRange();
  // A record outside the new range cannot be gone back to: the cursor stays where the range put
  // it.
  if (onRecord) static_cast<void>(Engine()->GotoRecord(n, record.data()));
}

int TIsamTable::IndexSlot(TDataFile& file, const std::string& name) {
  if (name.empty()) return 0;
  for (int slot = 0; slot <= file.IndexFile().SecondaryCount(); ++slot) {
    if (SameName(file.IndexFile().Descriptor(slot).Name, name)) return slot;
  }
  RaiseIsamError(ie::kInvalidIndexName, file.FileName(), {}, name);
}

void TIsamTable::AfterCursorOpened() {
  ResolveIndexName();
  if (masterLink_.Active() && !masterLink_.Fields().empty()) {
    SetRangeFromMaster();
    SetCursorRange();
  }
}

// --- the lookup cursor ---

void TIsamTable::DropLookupCursor() {
  lookupCursor_.reset();
  lookupFields_.clear();
  lookupValid_ = false;
}

TDataFile* TIsamTable::GetLookupCursor(std::string_view fieldNames, bool caseInsensitive) {
  // A second cursor sees the whole table. Under a range (a detail table's master range or one
  // set by hand) only the table's own cursor knows which records the table shows.
  if (RangeInForce()) return nullptr;
  if (lookupValid_ && fieldNames == lookupFields_ && caseInsensitive == lookupCaseInsensitive_) {
    return lookupCursor_.get();
  }
  DropLookupCursor();
  const TIndexDef* def = IndexDefs().FindIndexForFields(fieldNames, caseInsensitive);
  if (def && ((def->Options & ixCaseInsensitive) != 0) == caseInsensitive) {
    lookupCursor_ = Engine()->Clone();
    SelectIndex(*lookupCursor_, def->Name);
  }
  lookupFields_ = std::string(fieldNames);
  lookupCaseInsensitive_ = caseInsensitive;
  lookupValid_ = true;
  return lookupCursor_.get();
}

// --- finding records ---

bool TIsamTable::SearchKey(TDataFile& cursor, std::size_t wholeFields, std::size_t prefix) {
  const TKeyContext context = cursor.KeyContextFor(cursor.Cursor().Slot());
  std::vector<std::uint8_t> key(context.Index->KeyLength);
  BuildKey(context, searchBuffer_.data(), key.data());
  int boundary = 0;
  for (std::size_t i = 0; i < wholeFields; ++i) {
    boundary += 1 + context.Field(static_cast<int>(i)).PhysicalSize;
  }
  if (prefix > 0) boundary += 1 + static_cast<int>(prefix);
  boundary = std::min<int>(boundary, context.Index->KeyLength);
  FillLow(context, key.data(), boundary);
  cursor.FindKey(key.data(), TKeyMatch::Nearest);
  const std::uint8_t* found = cursor.Cursor().CurrentKey();
  if (!found || cursor.CurrentRecordNumber() == 0) return false;
  return CompareKeys(context, found, key.data(), boundary) == 0;
}

bool TIsamTable::Search(std::string_view keyFields, const std::vector<TVariant>& keyValues,
                        TLocateOptions options, bool synchronise) {
  CheckBrowseMode();
  CursorPosChanged();
  const std::vector<TField*> fields = GetFieldList(keyFields);
  if (fields.empty() || fields.size() != keyValues.size()) return false;
  const bool caseInsensitive = (options & loCaseInsensitive) != 0;
  const bool partial = (options & loPartialKey) != 0;
  // Sized anew for every search: the table may have been opened on another table since.
  searchBuffer_.assign(static_cast<std::size_t>(RecordBufferSize()), 0);

  TDataFile* cursor = nullptr;
  bool served = IndexCaseInsensitive() == caseInsensitive && IndexFields().size() >= fields.size();
  for (std::size_t i = 0; served && i < fields.size(); ++i) {
    served = fields[i]->FieldNo() == IndexFields()[i];
  }
  cursor = served ? Engine() : GetLookupCursor(keyFields, caseInsensitive);

  if (cursor) {
    std::size_t whole = fields.size();
    std::size_t prefix = 0;
    const TDataSetState saved = SetTempState(TDataSetState::FilterTest);
    SetFilterBuffer(searchBuffer_.data());
    {
      const platform::TScopeExit restore([&] {
        SetFilterBuffer(nullptr);
        RestoreState(saved);
      });
      Engine()->BlankRecord(searchBuffer_.data());
      for (std::size_t i = 0; i < fields.size(); ++i) fields[i]->SetValueVariant(keyValues[i]);
      if (partial && fields.back()->DataType() == ftString) {
        --whole;
        prefix = fields.back()->ValueString().size();
      }
    }
    if (cursor != Engine()) cursor->Refresh();
    const bool found = SearchKey(*cursor, whole, prefix);
    if (found && synchronise && cursor != Engine()) {
      std::vector<std::uint8_t> record(cursor->WorkingRecordSize());
      RaiseIfIsamError(cursor->GetCurrent(record.data(), false));
      RaiseIfIsamError(Engine()->GotoRecord(cursor->CurrentRecordNumber(), record.data()));
    }
    if (found && !synchronise && cursor == Engine()) {
      RaiseIfIsamError(Engine()->GetCurrent(searchBuffer_.data(), false));
    }
    if (found && cursor != Engine()) {
      RaiseIfIsamError(cursor->GetCurrent(searchBuffer_.data(), false));
    }
    return found;
  }

  // No index serves: a temporary filter finds the first match in the current order.
  Engine()->GoFirst();
  TFilterExpr expr(*this, (caseInsensitive ? foCaseInsensitive : 0u) | foNoPartialCompare);
  TExprNode* root = nullptr;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    TExprNode* compare = expr.NewCompareNode(*fields[i], keyValues[i]);
    if (i + 1 == fields.size()) compare->Partial = partial;
    root = root ? expr.NewNode(TExprNodeKind::Operator, opAnd, {}, root, compare) : compare;
  }
  TFilter* filter = nullptr;
  RaiseIfIsamError(Engine()->AddFilter(expr.Compile(root), &filter));
  int code = 0;
  {
    const platform::TScopeFail removeFilter([&] {
      // The failure on its way is the one to report; the removal's own cannot add to it.
      static_cast<void>(Engine()->Filters().Remove(filter));
    });
    RaiseIfIsamError(Engine()->Filters().Activate(filter));
    code = Engine()->GoNext(searchBuffer_.data());
  }
  RaiseIfIsamError(Engine()->Filters().Remove(filter));
  return code == 0;
}

bool TIsamTable::Locate(std::string_view keyFields, const std::vector<TVariant>& keyValues,
                        TLocateOptions options) {
  DoBeforeScroll();
  const bool found = Search(keyFields, keyValues, options, true);
  if (found) {
    Resync(rmExact | rmCenter);
    DoAfterScroll();
  }
  return found;
}

TVariant TIsamTable::Lookup(std::string_view keyFields, const std::vector<TVariant>& keyValues,
                            std::string_view resultFields) {
  if (!Search(keyFields, keyValues, 0, false)) return {};
  const std::vector<TField*> results = GetFieldList(resultFields);
  const TDataSetState saved = SetTempState(TDataSetState::Calculating);
  TVariant value;
  const platform::TScopeExit restore([&] { RestoreState(saved); });
  SetCalcBuffer(searchBuffer_.data());
  // Several result fields would make an array; the framework's value holds one.
  if (!results.empty()) value = results.front()->ValueVariant();
  return value;
}

}  // namespace katalog
