#include "engine/components/MasterDataLink.h"

#include <algorithm>

#include "dataset/DataSet.h"

namespace katalog {

void TIsamMasterDataLink::SetFieldNames(std::string names) {
  if (names == fieldNames_) return;
  fieldNames_ = std::move(names);
  Reevaluate();
}

void TIsamMasterDataLink::Reevaluate() {
  fields_.clear();
  if (Active() && !fieldNames_.empty()) fields_ = DataSet()->GetFieldList(fieldNames_);
  if (!detailOpen_()) return;
  if (Active() && !fields_.empty()) {
    masterChanged_();
  } else {
    masterDisabled_();
  }
}

void TIsamMasterDataLink::HandleRecordChange(TField* field) {
  if (field && std::find(fields_.begin(), fields_.end(), field) == fields_.end()) return;
  if (DataSet()->State() == TDataSetState::KeyEntry || !detailOpen_() || fields_.empty()) return;
  masterChanged_();
}

void TIsamMasterDataLink::ForgetField(TField* field) {
  std::erase(fields_, field);
}

}  // namespace katalog
