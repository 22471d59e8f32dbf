// TMemoryDataSet: a data set over records kept in memory, so that the data-set framework, its
// fields and its links can be tested without the engine. It implements every cursor hook the way
// the table data set does: record buffers with a calculated area, record info and a 4-byte
// bookmark (the record's id), fetching through an optional record filter (OnFilterRecord while
// Filtered), field reads and writes by state, bookmarks, record count and number, and blob
// streams.
//
// Record buffer layout: per column a presence byte and the column's native value (blobs: the
// presence byte only, their contents kept beside the record), then the calculated area, then
// the record number (int32) and the bookmark flag, then the record id (int32).
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "dataset/DataSet.h"

namespace katalog::testing {

struct TColumn {
  std::string Name;
  TFieldType Type;
  int Size = 0;
  bool Required = false;
};

class TMemoryDataSet : public TDataSet {
 public:
  TMemoryDataSet(TComponent* owner, std::vector<TColumn> columns);
  ~TMemoryDataSet() override;

  // Appends a stored record: per column none for null, else the native value: strings and bytes
  // as text, integers, booleans, day numbers and milliseconds as std::int64_t, floats and
  // date-time milliseconds as double, BCD as the currency amount (std::int64_t), blob contents
  // as text.
  void AddRecord(const std::vector<TVariant>& values);
  int StoredCount() const { return static_cast<int>(records_.size()); }
  // The stored native value of a column, or none.
  TVariant StoredValue(int record, int column) const;

  void SetReadOnly(bool value) { readOnly_ = value; }
  // Makes the next fetches fail with this exception (raised or reported as FetchError).
  void FailFetches(std::exception_ptr error) { fetchError_ = std::move(error); }
  // Makes the next `times` edit beginnings, posts and deletes fail with this exception.
  void FailOperations(int times, std::exception_ptr error) {
    failures_ = times;
    operationError_ = std::move(error);
  }
  // Exceptions handed to CursorHandleException.
  const std::vector<std::exception_ptr>& HandledExceptions() const { return handled_; }
  // How many record filter tests ran.
  int FilterTests() const { return filterTests_; }

  int RecordCount() override;
  int RecNo() override;
  void SetRecNo(int value) override;
  bool IsSequenced() const override { return !Filtered(); }
  bool CanModify() const override { return !readOnly_; }
  bool BookmarkValid(const TBookmark& bookmark) override;
  int CompareBookmarks(const TBookmark& a, const TBookmark& b) override;
  std::unique_ptr<TStream> CreateBlobStream(const TField& field, TBlobStreamMode mode) override;
  void SetFiltered(bool value) override;

 protected:
  std::unique_ptr<std::uint8_t[]> NewRecordBuffer() override;
  void ReadBookmark(TRecordBuffer buffer, std::uint8_t* bookmark) override;
  TBookmarkFlag ReadBookmarkFlag(TRecordBuffer buffer) override;
  TFetchResult FetchRecord(TRecordBuffer buffer, TFetchMode mode, bool raiseErrors) override;
  int RecordImageSize() override { return imageSize_; }
  void CursorAddRecord(TRecordBuffer buffer, bool append) override;
  void CursorClose() override;
  void CursorDelete() override;
  void CursorFirst() override { cursor_ = -1; }
  void CursorGotoBookmark(const std::uint8_t* bookmark) override;
  void CursorHandleException(std::exception_ptr error) override { handled_.push_back(error); }
  void CursorLoadFieldDefs() override;
  void CursorBlankRecord(TRecordBuffer buffer) override;
  void CursorLast() override { cursor_ = static_cast<int>(records_.size()); }
  void CursorOpen() override;
  void CursorPost() override;
  void CursorSetToRecord(TRecordBuffer buffer) override;
  bool CursorIsOpen() override { return open_; }
  void WriteBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) override;
  void WriteBookmark(TRecordBuffer buffer, const std::uint8_t* bookmark) override;
  void WriteFieldData(TField& field, const void* buffer) override;
  bool ReadFieldData(const TField& field, void* buffer) override;
  void BlankCalcFields(TRecordBuffer buffer) override;
  void EditBegins() override;

 private:
  struct TStoredRecord {
    std::int32_t Id;
    std::vector<std::uint8_t> Image;
    std::vector<std::string> Blobs;
  };

  int NativeSize(const TColumn& column) const;
  bool Accepts(const TStoredRecord& record);
  void Load(TRecordBuffer buffer, int index);
  std::uint8_t* ImageFor(const TField& field);
  std::string* BlobFor(const TField& field);
  int IndexOfId(std::int32_t id) const;

  std::vector<TColumn> columns_;
  std::vector<int> offsets_;
  std::vector<TStoredRecord> records_;
  int imageSize_ = 0;
  int recordInfoOffset_ = 0;
  int bufferSize_ = 0;
  int cursor_ = -1;
  std::int32_t nextId_ = 1;
  bool open_ = false;
  bool readOnly_ = false;
  const TStoredRecord* filterRecord_ = nullptr;
  std::vector<std::uint8_t> filterImage_;
  std::vector<std::string> pendingBlobs_;
  void MaybeFail();

  std::exception_ptr fetchError_;
  std::exception_ptr operationError_;
  int failures_ = 0;
  std::vector<std::exception_ptr> handled_;
  int filterTests_ = 0;
};

}  // namespace katalog::testing
