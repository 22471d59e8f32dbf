// TIsamDataSet: the expression filter and the record-filter handler as engine filters, their
// setters, and searching through them.
#include "dataset/DatabaseError.h"
#include "engine/components/ExprParser.h"
#include "engine/components/IsamDataSet.h"
#include "engine/storage/IsamError.h"
#include "engine/table/DataFile.h"
#include "platform/ExceptionReporter.h"
#include "platform/ScopeGuard.h"

namespace katalog {

void TIsamDataSet::BuildExpressionFilter(const std::string& text, TFilterOptions options,
                                         TConstantForms forms, TFilter*& filter) {
  filter = nullptr;
  if (text.empty()) return;
  const TExprParser parser(*this, options, text, forms);
  RaiseIfIsamError(engine_->AddFilter(parser.Condition(), &filter));
}

void TIsamDataSet::BuildCallbackFilter(TFilter*& filter) {
  filter = nullptr;
  if (!OnFilterRecord()) return;
  RaiseIfIsamError(engine_->AddFilter(
      [this](const std::uint8_t* record, std::int32_t) { return FilterCallback(record); },
      &filter));
}

bool TIsamDataSet::FilterCallback(const std::uint8_t* record) {
  const TDataSetState saved = SetTempState(TDataSetState::FilterTest);
  // The handler reads the record through the fields; a write in FilterTest lands in the
  // engine's copy of the record under test, which nothing stores.
  filterBuffer_ = const_cast<std::uint8_t*>(record);
  bool accept = true;
  try {
    OnFilterRecord()(*this, accept);
  } catch (...) {
    platform::ReportException(std::current_exception());
  }
  filterBuffer_ = nullptr;
  RestoreState(saved);
  return accept;
}

void TIsamDataSet::ActivateFilters(bool active) {
  for (TFilter* filter : {expressionFilter_, callbackFilter_}) {
    if (!filter) continue;
    RaiseIfIsamError(active ? engine_->Filters().Activate(filter)
                            : engine_->Filters().Deactivate(filter));
  }
}

// The new filter takes the old one's place, active when the data set is filtered.
void TIsamDataSet::ReplaceFilter(TFilter*& current, TFilter* replacement) {
  if (Filtered()) {
    CursorPosChanged();
    DropLookupCursor();
  }
  if (current) RaiseIfIsamError(engine_->Filters().Remove(current));
  current = replacement;
  if (current && Filtered()) RaiseIfIsamError(engine_->Filters().Activate(current));
}

void TIsamDataSet::SetFilterText(std::string text) {
  if (!Active()) return TDataSet::SetFilterText(std::move(text));
  CheckBrowseMode();
  if (text != Filter()) {
    TFilter* replacement = nullptr;
    BuildExpressionFilter(text, FilterOptions(), filterConstantForms_, replacement);
    ReplaceFilter(expressionFilter_, replacement);
    TDataSet::SetFilterText(std::move(text));
  }
  if (Filtered()) First();
}

void TIsamDataSet::SetFilterOptions(TFilterOptions options) {
  if (!Active()) return TDataSet::SetFilterOptions(options);
  CheckBrowseMode();
  if (options != FilterOptions()) {
    TFilter* replacement = nullptr;
    BuildExpressionFilter(Filter(), options, filterConstantForms_, replacement);
    ReplaceFilter(expressionFilter_, replacement);
    TDataSet::SetFilterOptions(options);
  }
  if (Filtered()) First();
}

void TIsamDataSet::SetFilterConstantForms(TConstantForms forms) {
  if (!Active()) {
    filterConstantForms_ = forms;
    return;
  }
  CheckBrowseMode();
  if (forms != filterConstantForms_) {
    TFilter* replacement = nullptr;
    BuildExpressionFilter(Filter(), FilterOptions(), forms, replacement);
    ReplaceFilter(expressionFilter_, replacement);
    filterConstantForms_ = forms;
  }
  if (Filtered()) First();
}

void TIsamDataSet::SetFiltered(bool value) {
  if (!Active()) return TDataSet::SetFiltered(value);
  CheckBrowseMode();
  if (value != Filtered()) {
    DropLookupCursor();
    ActivateFilters(value);
    TDataSet::SetFiltered(value);
  }
  First();
}

void TIsamDataSet::SetOnFilterRecord(TFilterRecordEvent handler) {
  if (!Active()) return TDataSet::SetOnFilterRecord(std::move(handler));
  CheckBrowseMode();
  TDataSet::SetOnFilterRecord(std::move(handler));
  TFilter* replacement = nullptr;
  BuildCallbackFilter(replacement);
  ReplaceFilter(callbackFilter_, replacement);
  if (Filtered()) First();
}

bool TIsamDataSet::FindRecord(bool restart, bool goForward) {
  CheckBrowseMode();
  DoBeforeScroll();
  SetFound(false);
  UpdateCursorPos();
  CursorPosChanged();
  const bool activated = !Filtered();
  if (activated) ActivateFilters(true);
  int code = 0;
  {
    const platform::TScopeExit deactivate([&] {
      if (activated) ActivateFilters(false);
    });
    if (restart) goForward ? engine_->GoFirst() : engine_->GoLast();
    code = goForward ? engine_->GoNext(nullptr) : engine_->GoPrior(nullptr);
  }
  if (code == 0) {
    Resync(rmExact | rmCenter);
    SetFound(true);
  }
  if (Found()) DoAfterScroll();
  return Found();
}

}  // namespace katalog
