// TIsamMasterDataLink: a detail table's link to its master data set. It resolves the master
// fields from the MasterFields text and tells the table when the master's record changed (the
// detail shows the records whose leading index fields hold the master values) or the link went
// away (the detail shows everything again).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "dataset/DataLink.h"

namespace katalog {

class TField;

class TIsamMasterDataLink : public TDataLink {
 public:
  using TCallback = std::function<void()>;

  TIsamMasterDataLink(TCallback masterChanged, TCallback masterDisabled, TCallback checkBrowse,
                      std::function<bool()> detailOpen)
      : masterChanged_(std::move(masterChanged)),
        masterDisabled_(std::move(masterDisabled)),
        checkBrowse_(std::move(checkBrowse)),
        detailOpen_(std::move(detailOpen)) {}

  const std::string& FieldNames() const { return fieldNames_; }
  // Stored and the link re-evaluated when different.
  void SetFieldNames(std::string names);
  const std::vector<TField*>& Fields() const { return fields_; }

 protected:
  void HandleActiveChange() override { Reevaluate(); }
  void HandleLayoutChange() override { Reevaluate(); }
  void HandleRecordChange(TField* field) override;
  void HandleCheckBrowse() override { checkBrowse_(); }
  void ForgetField(TField* field) override;

 private:
  // The master fields again from the master data set ("Field '%s' not found" leaves none), then
  // the master-changed or master-disabled step.
  void Reevaluate();

  std::string fieldNames_;
  std::vector<TField*> fields_;
  TCallback masterChanged_;
  TCallback masterDisabled_;
  TCallback checkBrowse_;
  std::function<bool()> detailOpen_;
};

}  // namespace katalog
