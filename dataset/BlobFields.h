// TBlobField and its classes: long values kept outside the record image. The contents are read
// and written through the data set's blob stream; the display and edit text is the class
// description ("(Memo)", "(MEMO)", "(Graphic)", ...), so controls that show memo text read the
// contents themselves.
#pragma once

#include <functional>
#include <string_view>

#include "dataset/Field.h"

namespace katalog {

class TBlobField : public TField {
 public:
  explicit TBlobField(TComponent* owner, TFieldType type = ftBlob) : TField(owner, type) {}
  std::string_view ClassName() const override { return "TBlobField"; }
  bool IsBlobField() const override { return true; }

  TFieldType BlobType() const { return DataType(); }
  // Any blob type, so that an ftFmtMemo column stays ftFmtMemo in a TBlobField.
  void SetBlobType(TFieldType type);
  // Contents written through a stream and not yet stored with the record.
  bool Modified() const { return modified_; }
  void SetModified(bool value) { modified_ = value; }
  // With modified contents, blank means their stream is empty.
  bool IsBlank() const override;
  // Forgets modified contents (the edit ended).
  void FreeBuffers() override { modified_ = false; }
  // Hands the whole contents to `use`: in place where the data set holds them in one piece and
  // nothing translates them (a search reads every description so), else as a copy.
  void WithContents(const std::function<void(std::string_view)>& use) const;

 protected:
  // The whole contents, from the stream's start to its end.
  std::string GetAsString() const override;
  TVariant GetAsVariant() const override { return GetAsString(); }
  std::string GetText(bool /*displayText*/) const override { return ClassDescription(); }
  // Replaces the contents.
  void SetAsString(std::string_view value) override;
  // Whether text passes through the data set's translation.
  virtual bool TranslatesText() const { return false; }

 private:
  bool modified_ = false;
};

class TMemoField : public TBlobField {
 public:
  explicit TMemoField(TComponent* owner) : TBlobField(owner, ftMemo) {}
  std::string_view ClassName() const override { return "TMemoField"; }
  bool Transliterate() const { return transliterate_; }
  void SetTransliterate(bool value) { transliterate_ = value; }

 protected:
  bool TranslatesText() const override { return transliterate_; }

 private:
  bool transliterate_ = true;
};

class TGraphicField : public TBlobField {
 public:
  explicit TGraphicField(TComponent* owner) : TBlobField(owner, ftGraphic) {}
  std::string_view ClassName() const override { return "TGraphicField"; }
};

}  // namespace katalog
