#include "dataset/BlobFields.h"

#include "dataset/DataSet.h"
#include "dataset/Stream.h"

namespace katalog {

void TBlobField::SetBlobType(TFieldType type) {
  if (IsBlobType(type)) SetDataType(type);
}

bool TBlobField::IsBlank() const {
  if (!modified_) return TField::IsBlank();
  auto stream = CheckDataSet().CreateBlobStream(*this, TBlobStreamMode::Read);
  return !stream || stream->Size() == 0;
}

std::string TBlobField::GetAsString() const {
  auto stream = CheckDataSet().CreateBlobStream(*this, TBlobStreamMode::Read);
  if (!stream) return {};
  std::string contents = stream->ReadAll();
  return TranslatesText() && DataSet()->TranslatesText() ? DataSet()->Translate(contents, false)
                                                         : contents;
}

void TBlobField::WithContents(const std::function<void(std::string_view)>& use) const {
  TDataSet& dataSet = CheckDataSet();
  if (TranslatesText() && dataSet.TranslatesText()) return use(GetAsString());
  dataSet.ReadBlobContents(*this, use);
}

void TBlobField::SetAsString(std::string_view value) {
  auto stream = CheckDataSet().CreateBlobStream(*this, TBlobStreamMode::Write);
  if (!stream) return;
  const std::string text =
      TranslatesText() ? DataSet()->Translate(value, true) : std::string(value);
  stream->SetSize(0);
  stream->Write(text.data(), static_cast<std::int64_t>(text.size()));
  modified_ = true;
}

}  // namespace katalog
