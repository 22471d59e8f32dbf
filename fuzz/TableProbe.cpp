#include "fuzz/TableProbe.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "dataset/DatabaseError.h"
#include "engine/index/FilterList.h"
#include "engine/storage/IsamError.h"
#include "engine/table/DataFile.h"
#include "engine/table/TableVerifier.h"

namespace katalog {
namespace {

// Blob fields (type code 3) of the table, by field number.
std::vector<int> BlobFields(const TDataFile& table) {
  std::vector<int> fields;
  for (const TFieldDescriptor& field : table.PhysicalFields())
    if (field.FieldTypeCode == 3) fields.push_back(field.FieldNumber);
  return fields;
}

void ReadBlobs(TDataFile& table, const std::vector<int>& fields, std::uint8_t* record) {
  for (const int field : fields) {
    if (table.OpenBlob(TFieldSet::Working, field, record) != 0) continue;
    std::int32_t size = 0;
    if (table.GetBlobSize(TFieldSet::Working, field, record, size) == 0 && size > 0) {
      std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min(size, 1 << 20)));
      std::int32_t read = 0;
      // A damaged chain refuses the read with a code; the probe only looks for crashes.
      static_cast<void>(table.ReadBlob(TFieldSet::Working, field, record, 0,
                                       static_cast<std::int32_t>(bytes.size()), bytes.data(),
                                       read));
    }
    static_cast<void>(table.CloseBlob(TFieldSet::Working, field, record));  // it was opened above
  }
}

// Walks the current order both ways; no walk may pass more records than the file has slots.
std::int64_t Walk(TDataFile& table, const std::vector<int>& blobs) {
  std::vector<std::uint8_t> record(table.WorkingRecordSize());
  const std::int64_t limit = std::int64_t{table.Header().NextRecordNumber} + 1;
  std::int64_t steps = 0;
  table.GoFirst();
  for (std::int64_t n = 0; table.GoNext(record.data()) == 0; ++n) {
    if (n > limit) throw std::logic_error("a forward walk passed more records than there are");
    ReadBlobs(table, blobs, record.data());
    ++steps;
  }
  table.GoLast();
  for (std::int64_t n = 0; table.GoPrior(record.data()) == 0; ++n) {
    if (n > limit) throw std::logic_error("a backward walk passed more records than there are");
    ++steps;
  }
  return steps;
}

}  // namespace

TProbeResult ProbeTable(const std::string& path) {
  TProbeResult result;
  try {
    TDataFile table;
    table.SetFileName(path);
    table.SetReadOnly(true);
    table.Open();
    const std::vector<int> blobs = BlobFields(table);
    table.SetIndex(kPhysicalOrder);
    result.Steps += Walk(table, blobs);
    const TIndexFile& index = table.IndexFile();
    for (int slot = 0; slot <= index.Header().SecondaryCount; ++slot) {
      if (slot == 0 && index.Header().NoPrimaryIndex) continue;
      table.SetIndex(slot);
      result.Steps += Walk(table, blobs);
    }
    // Every other record, by a callback filter: counted, then walked in physical order.
    TFilter* filter = nullptr;
    if (table.AddFilter([](const std::uint8_t*, std::int32_t r) { return r % 2 == 0; }, &filter) ==
        0)
      static_cast<void>(table.Filters().Activate(filter));  // just added: cannot be refused
    table.SetIndex(kPhysicalOrder);
    result.Steps += table.RecordCount();
    result.Steps += Walk(table, blobs);
    result.Findings = VerifyTable(table).size();
  } catch (const EIsamEngineError& e) {
    result.ErrorCode = e.ErrorCode();
    result.Message = e.what();
  } catch (const EDatabaseError& e) {
    // The conversion errors of damaged default or limit values ("'x' is not a valid date").
    result.ErrorCode = kConversionError;
    result.Message = e.what();
  }
  return result;
}

}  // namespace katalog
