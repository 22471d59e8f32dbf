#include "fuzz/SampleTable.h"

#include <vector>

#include "engine/storage/IsamError.h"
#include "engine/table/DataFile.h"
#include "engine/table/TableCreation.h"

namespace katalog {

using Bytes = std::vector<std::uint8_t>;

void MakeSampleTable(const std::string& base, bool primary, std::uint32_t locale, int count) {
  TTableDefinition definition;
  definition.TableName = base;
  definition.LocaleId = locale;
  definition.Fields = {{"Id", 6}, {"Name", 1, 0, 20}, {"Notes", 3, 22}};
  if (primary) definition.Indexes.push_back({"", {"Id"}, {}, true});
  definition.Indexes.push_back({"ByName", {"Name"}, {}, false, false, false, true, kcFull});
  CreateTable(definition);
  TDataFile table;
  table.SetExclusive(true);
  table.SetFileName(base);
  table.Open();
  for (int i = 1; i <= count; ++i) {
    Bytes record(table.WorkingRecordSize());
    table.BlankRecord(record.data());
    table.WriteField(TFieldSet::Working, 1, std::int64_t{i}, record.data());
    table.WriteField(TFieldSet::Working, 2, "name " + std::to_string(i * 7 % 13), record.data());
    const bool memo = i % 3 == 0;
    if (memo) {
      RaiseIfIsamError(table.OpenBlob(TFieldSet::Working, 3, record.data()));
      const std::string text(static_cast<std::size_t>(100 * i), static_cast<char>('a' + i % 26));
      RaiseIfIsamError(table.WriteBlob(TFieldSet::Working, 3, record.data(), 0,
                                       static_cast<std::int32_t>(text.size()),
                                       reinterpret_cast<const std::uint8_t*>(text.data())));
    }
    table.Insert(record.data(), {});
    if (memo) RaiseIfIsamError(table.CloseBlob(TFieldSet::Working, 3, record.data()));
  }
  table.SetIndex(0);
  Bytes record(table.WorkingRecordSize());
  table.GoFirst();
  for (int i = 1; table.GoNext(record.data()) == 0; ++i)
    if (i % 5 == 0) table.Delete({});
  table.Close();
}

}  // namespace katalog
