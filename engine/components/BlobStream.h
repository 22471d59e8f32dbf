// TIsamBlobStream: a seekable stream over one blob field of one record buffer of a table data
// set, made by the data set for one use and freed right after. It opens the engine's blob of
// that field and record (unless the field holds modified contents, whose blob stays open until
// the record is posted or cancelled), reads, writes, sizes and truncates it, and on freeing
// releases a blob it only read and announces a change it made.
//
// A data set without a record for its state (an empty one in Browsing) gives an unopened stream:
// it reads and writes nothing and its size is 0.
#pragma once

#include <cstdint>

#include "dataset/DataSet.h"
#include "dataset/Stream.h"

namespace katalog {

class TIsamDataSet;
class TBlobField;

class TIsamBlobStream : public TStream {
 public:
  // Write and read-write streams: "Field '%s' cannot be modified" for a read-only field,
  // "Dataset not in edit or insert mode" outside Editing and Inserting. Write mode starts by
  // emptying the contents. Engine failures raise EIsamEngineError.
  TIsamBlobStream(TIsamDataSet& dataSet, const TField& field, TBlobStreamMode mode);
  ~TIsamBlobStream() override;
  TIsamBlobStream(const TIsamBlobStream&) = delete;
  TIsamBlobStream& operator=(const TIsamBlobStream&) = delete;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  // Truncates (or extends) the contents at `size`.
  void SetSize(std::int64_t size) override;
  // Truncates at the current position.
  void Truncate() { SetSize(position_); }
  // The engine holds an open blob whole in memory.
  std::optional<std::string_view> Contents() const override;

 private:
  TIsamDataSet& dataSet_;
  TBlobField* field_;
  int fieldNumber_;
  std::uint8_t* image_;
  bool opened_ = false;
  bool modified_ = false;
  std::int64_t position_ = 0;
};

}  // namespace katalog
