// TIsamDataSet: the data set over one engine table. It implements every cursor hook of TDataSet
// on an engine cursor (a TDataFile its subclass opens through CreateEngineCursor), owns the
// record-buffer layout, the key buffers, the two engine filters (Filter and OnFilterRecord),
// bookmarks, record count and number, and blob streams.
//
// Record buffer, one per row of the window:
//   offset                     size          content
//   0                          ImageSize     the record image as the engine delivers it
//   ImageSize                  CalcSize      calculated fields: per field a presence byte and
//                                            its value, at the field's offset
//   ImageSize + CalcSize       8             the record number when fetched (int32, -1 for a
//                                            new record), then the bookmark flag (1 byte)
//   ImageSize + CalcSize + 8   BookmarkSize  the engine's bookmark of the record
//
// Ownership: the engine cursor while open (and through it the filters), the buffers and key
// buffers. Invariants while open: Engine() is set; the layout numbers describe every buffer.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "dataset/DataSet.h"

namespace katalog {

class TDataFile;
class TFilter;

class TIsamDataSet : public TDataSet {
 public:
  explicit TIsamDataSet(TComponent* owner);
  ~TIsamDataSet() override;

  TDataFile* Engine() const { return engine_.get(); }

  int RecordCount() override;
  int RecNo() override;
  void SetRecNo(int value) override;
  bool IsSequenced() const override { return !Filtered(); }
  bool CanModify() const override { return canModify_; }
  bool IsIndexField(const TField& field) const override;
  bool GetCurrentRecord(TRecordBuffer buffer) override;
  bool BookmarkValid(const TBookmark& bookmark) override;
  int CompareBookmarks(const TBookmark& a, const TBookmark& b) override;
  std::unique_ptr<TStream> CreateBlobStream(const TField& field, TBlobStreamMode mode) override;
  // The engine hands the contents over without opening the blob, unless they are being edited.
  void ReadBlobContents(const TField& field,
                        const std::function<void(std::string_view)>& use) override;
  void DataConvert(const TField& field, const void* source, void* destination,
                   bool toNative) override;
  bool FindRecord(bool restart, bool goForward) override;

  void SetFilterText(std::string text) override;
  void SetFilterOptions(TFilterOptions options) override;
  void SetFiltered(bool value) override;
  void SetOnFilterRecord(TFilterRecordEvent handler) override;
  // The forms in which the Filter text's constants read: Locale (the default, what a user
  // types) or Iso. Setting it on an open data set compiles the Filter text again.
  TConstantForms FilterConstantForms() const { return filterConstantForms_; }
  void SetFilterConstantForms(TConstantForms forms);

  // The record image the current state selects for field reads (none when there is none).
  std::uint8_t* StateImage();
  // Field reads in FilterTest address this image (a record under test or a search key).
  void SetFilterBuffer(std::uint8_t* image) { filterBuffer_ = image; }
  bool IndexCaseInsensitive() const { return caseInsensitiveIndex_; }
  const std::vector<std::uint16_t>& IndexFields() const { return indexFields_; }
  // Releases the engine's open blob of a blob field in the active buffer.
  void CloseBlob(const TField& field);

 protected:
  // The engine cursor's life, in the order a subclass extends it.
  virtual std::unique_ptr<TDataFile> CreateEngineCursor();
  virtual void DestroyEngineCursor();
  virtual void DropLookupCursor() {}
  virtual TDataFile* GetLookupCursor(std::string_view /*fieldNames*/, bool /*caseInsensitive*/) {
    return nullptr;
  }
  virtual void AfterCursorOpened() {}

  std::unique_ptr<std::uint8_t[]> NewRecordBuffer() override;
  void ReadBookmark(TRecordBuffer buffer, std::uint8_t* bookmark) override;
  TBookmarkFlag ReadBookmarkFlag(TRecordBuffer buffer) override;
  TFetchResult FetchRecord(TRecordBuffer buffer, TFetchMode mode, bool raiseErrors) override;
  int RecordImageSize() override { return imageSize_; }
  void CursorAddRecord(TRecordBuffer buffer, bool append) override;
  void CursorClose() override;
  void CursorDelete() override;
  void CursorFirst() override;
  void CursorGotoBookmark(const std::uint8_t* bookmark) override;
  void CursorHandleException(std::exception_ptr error) override;
  void CursorLoadFieldDefs() override;
  void CursorBlankRecord(TRecordBuffer buffer) override;
  void CursorLast() override;
  void CursorOpen() override;
  void CursorPost() override;
  void CursorSetToRecord(TRecordBuffer buffer) override;
  bool CursorIsOpen() override { return engine_ != nullptr; }
  void WriteBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override;
  void WriteBookmark(TRecordBuffer buffer, const std::uint8_t* bookmark) override;
  void WriteFieldData(TField& field, const void* buffer) override;
  bool ReadFieldData(const TField& field, void* buffer) override;
  // "Error creating table handle." when CreateEngineCursor yields none.
  void ActivateCursor() override;
  void DeactivateCursor() override;
  void EditBegins() override;
  void CancelHook() override;
  void RefreshHook() override;
  void BlankCalcFields(TRecordBuffer buffer) override;
  void InitRecord(TRecordBuffer buffer) override;

  // FieldDefs from a data file's descriptors: skipped codes, "%s_%d" for repeated names.
  void LoadFieldDefs(TDataFile& file);
  // The key buffers: 0 lookup key, 1 range start, 2 range end, 3 and 4 the range in force, 5 a
  // saved key. Each is an 8-byte header (byte 0 the entered flag, bytes 4-7 the number of
  // fields entered) followed by a record image; KeyEntry edits the current one.
  static constexpr std::size_t kKeyHeader = 8;
  std::vector<std::uint8_t>& KeyBuffer(int index) {
    return keyBuffers_[static_cast<std::size_t>(index)];
  }
  int CurrentKeyBuffer() const { return currentKey_; }
  // Nothing entered: a zero header and a blank record image.
  void BlankKeyBuffer(int index);
  void SetCurrentKeyBuffer(int index) { currentKey_ = index; }
  // The active index's description, read again whenever the index changes.
  void ReadIndexDescription();
  // Layout and buffers again for a new bookmark size (after the index changed).
  void RebuildLayout();
  // The size of one record buffer of the open table's layout.
  int RecordBufferSize() const { return recordBufferSize_; }

 private:
  // Filters (IsamDataSetFilters.cpp).
  void BuildExpressionFilter(const std::string& text, TFilterOptions options, TConstantForms forms,
                             TFilter*& filter);
  void BuildCallbackFilter(TFilter*& filter);
  void ReplaceFilter(TFilter*& current, TFilter* replacement);
  void ActivateFilters(bool active);
  bool FilterCallback(const std::uint8_t* record);

  void ComputeLayout();
  void CloseModifiedBlobs();
  std::int32_t RecordNumberOf(TRecordBuffer buffer) const;

  std::unique_ptr<TDataFile> engine_;
  TFilter* expressionFilter_ = nullptr;
  TFilter* callbackFilter_ = nullptr;
  TConstantForms filterConstantForms_ = TConstantForms::Locale;
  std::uint8_t* filterBuffer_ = nullptr;
  bool caseInsensitiveIndex_ = false;
  std::vector<std::uint16_t> indexFields_;
  int keySize_ = 0;
  bool canModify_ = false;
  std::array<std::vector<std::uint8_t>, 6> keyBuffers_;
  int currentKey_ = 0;
  std::vector<std::uint8_t> oldValueBuffer_;
  int imageSize_ = 0;
  int recordInfoOffset_ = 0;
  int bookmarkOffset_ = 0;
  int recordBufferSize_ = 0;
};

}  // namespace katalog
