// TDataSet: the edit cycle and calculated fields.
#include "dataset/DataSet.h"
#include "dataset/DatabaseError.h"
#include "dataset/Field.h"
#include "dataset/FieldText.h"
#include "platform/ScopeGuard.h"

namespace katalog {

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(TDataEvent::CheckBrowse);
  switch (state_) {
    case TDataSetState::Editing:
    case TDataSetState::Inserting:
      UpdateRecord();
      if (modified_) {
        Post();
      } else {
        Cancel();
      }
      break;
    case TDataSetState::KeyEntry:
      Post();
      break;
    default:
      break;
  }
}

void TDataSet::UpdateRecord() {
  if (!IsEditState(state_)) DatabaseError("Dataset not in edit or insert mode", this);
  DataEvent(TDataEvent::RecordUpdating);
}

void TDataSet::CheckCanModify() const {
  if (!CanModify()) DatabaseError("Cannot modify a read-only dataset", this);
}

void TDataSet::CheckOperation(TOperationHook hook, const TDataSetErrorEvent& handler) {
  for (;;) {
    try {
      UpdateCursorPos();
      (this->*hook)();
      return;
    } catch (const EDatabaseError& error) {
      TDataAction action = TDataAction::Fail;
      if (handler) handler(*this, error, action);
      if (action == TDataAction::Fail) throw;
      if (action == TDataAction::Abort) throw EAbort();
    }
  }
}

void TDataSet::FreeFieldBuffers() {
  for (TField* field : fields_) field->FreeBuffers();
}

void TDataSet::Edit() {
  if (state_ == TDataSetState::Editing || state_ == TDataSetState::Inserting) return;
  if (recordCount_ == 0) return Insert();
  CheckBrowseMode();
  CheckCanModify();
  DoBeforeEdit();
  CheckOperation(&TDataSet::EditBegins, onEditError_);
  GetCalcFields(ActiveBuffer());
  SetState(TDataSetState::Editing);
  DataEvent(TDataEvent::RecordChanged);
  DoAfterEdit();
}

void TDataSet::InitRecord(TRecordBuffer buffer) {
  CursorBlankRecord(buffer);
  BlankCalcFields(buffer);
  WriteBookmarkFlag(buffer, TBookmarkFlag::Inserted);
}

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  CheckCanModify();
  DoBeforeInsert();
  DoBeforeScroll();
}

void TDataSet::EndInsertAppend() {
  SetState(TDataSetState::Inserting);
  {
    const platform::TScopeFail backToBrowsing([&] {
      UpdateCursorPos();
      FreeFieldBuffers();
      SetState(TDataSetState::Browsing);
      Resync(0);
    });
    DoOnNewRecord();
  }
  modified_ = false;
  DataEvent(TDataEvent::DataSetChanged);
  DoAfterInsert();
  DoAfterScroll();
}

void TDataSet::Insert() {
  BeginInsertAppend();
  const TBookmark bookmark = [&] {
    TBookmark mark(static_cast<std::size_t>(bookmarkSize_));
    if (recordCount_ > 0 && !mark.empty()) ReadBookmark(ActiveBuffer(), mark.data());
    return mark;
  }();
  MoveBuffer(recordCount_, activeRecord_);
  if (currentRecord_ >= activeRecord_) ++currentRecord_;  // its buffer moved up one place
  const TRecordBuffer buffer = ActiveBuffer();
  InitRecord(buffer);
  if (recordCount_ == 0) {
    WriteBookmarkFlag(buffer, TBookmarkFlag::AtBof);
  } else {
    WriteBookmark(buffer, bookmark.data());
  }
  if (recordCount_ < bufferCount_) ++recordCount_;
  if (currentRecord_ >= recordCount_) currentRecord_ = -1;  // pushed out into the scratch buffer
  InsertBegins();
  EndInsertAppend();
}

void TDataSet::Append() {
  BeginInsertAppend();
  ClearBuffers();
  const TRecordBuffer buffer = buffers_[0].get();
  InitRecord(buffer);
  WriteBookmarkFlag(buffer, TBookmarkFlag::AtEof);
  recordCount_ = 1;
  bof_ = false;
  GetPriorRecords();
  InsertBegins();
  EndInsertAppend();
}

void TDataSet::CheckRequiredFields() {
  for (TField* field : fields_) {
    if (field->Required() && !field->ReadOnly() && field->FieldKind() == fkData &&
        field->IsBlank()) {
      field->FocusControl();
      DatabaseError(FormatMessage("Field '%s' must have a value", {field->DisplayName()}));
    }
  }
}

void TDataSet::Post() {
  UpdateRecord();
  if (state_ != TDataSetState::Editing && state_ != TDataSetState::Inserting) return;
  DataEvent(TDataEvent::CheckBrowse);
  CheckRequiredFields();
  DoBeforePost();
  CheckOperation(&TDataSet::CursorPost, onPostError_);
  FreeFieldBuffers();
  SetState(TDataSetState::Browsing);
  Resync(0);
  DoAfterPost();
}

void TDataSet::Cancel() {
  if (state_ != TDataSetState::Editing && state_ != TDataSetState::Inserting) return;
  DataEvent(TDataEvent::CheckBrowse);
  DoBeforeCancel();
  const bool inserting = state_ == TDataSetState::Inserting;
  if (inserting) DoBeforeScroll();
  UpdateCursorPos();
  CancelHook();
  FreeFieldBuffers();
  SetState(TDataSetState::Browsing);
  Resync(0);
  DoAfterCancel();
  if (inserting) DoAfterScroll();
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == TDataSetState::Inserting || state_ == TDataSetState::KeyEntry) return Cancel();
  if (recordCount_ == 0) DatabaseError("Cannot perform this operation on an empty dataset", this);
  CheckCanModify();
  DataEvent(TDataEvent::CheckBrowse);
  DoBeforeDelete();
  DoBeforeScroll();
  CheckOperation(&TDataSet::CursorDelete, onDeleteError_);
  FreeFieldBuffers();
  SetState(TDataSetState::Browsing);
  Resync(0);
  DoAfterDelete();
  DoAfterScroll();
}

// --- calculated fields ---

void TDataSet::GetCalcFields(TRecordBuffer buffer) {
  if (calcFieldsSize_ == 0 && !internalCalcFields_) return;
  const TDataSetState saved = SetTempState(TDataSetState::Calculating);
  const platform::TScopeExit restore([&] { RestoreState(saved); });
  CalculateFields(buffer, saved == TDataSetState::InternalCalc);
}

void TDataSet::CalculateFields(TRecordBuffer buffer, bool internalOnly) {
  calcBuffer_ = buffer;
  if (!internalOnly) {
    BlankCalcFields(buffer);
    for (TField* field : fields_) {
      if (field->FieldKind() == fkLookup) CalcLookupValue(*field);
    }
  }
  DoOnCalcFields();
}

void TDataSet::CalcLookupValue(TField& field) {
  TDataSet* lookup = field.LookupDataSet();
  if (!lookup || !lookup->Active()) return;
  std::vector<TVariant> keys;
  for (TField* key : GetFieldList(field.KeyFields())) keys.push_back(key->ValueVariant());
  field.SetValueVariant(lookup->Lookup(field.LookupKeyFields(), keys, field.LookupResultField()));
}

}  // namespace katalog
