// isamtool info: what a table is made of.
#include <filesystem>
#include <functional>
#include <iostream>
#include <nlohmann/json.hpp>
#include <utility>
#include <vector>

#include "engine/components/IsamTable.h"
#include "engine/storage/FieldChecks.h"
#include "engine/table/DataFile.h"
#include "platform/CodePage.h"
#include "platform/FileSystem.h"
#include "platform/FormatSettings.h"
#include "platform/Locale.h"
#include "platform/Utf8.h"
#include "tools/isamtool/Commands.h"
#include "tools/isamtool/SchemaText.h"
#include "tools/isamtool/TablePath.h"

namespace katalog::isamtool {

namespace {

using nlohmann::ordered_json;

const char* const kCompressions[] = {"none", "leading", "trailing", "full"};

// An index in the form of a schema's "primaryIndex" or "indexes" entry, with its key length.
ordered_json IndexEntry(const TIndexDescriptor& d, bool primary,
                        const std::vector<TFieldDescriptor>& fields,
                        const std::function<std::string(const std::string&)>& text) {
  ordered_json entry;
  if (!primary) entry["name"] = text(d.Name);
  ordered_json names = ordered_json::array(), descending = ordered_json::array();
  for (int i = 0; i < d.FieldCount; ++i) {
    const int number = d.FieldNumbers[static_cast<std::size_t>(i)];
    if (number < 1 || number > static_cast<int>(fields.size())) continue;
    const std::string name = text(fields[static_cast<std::size_t>(number - 1)].Name);
    names.push_back(name);
    if (d.FieldDescending[static_cast<std::size_t>(i)]) descending.push_back(name);
  }
  entry["fields"] = names;
  if (!primary) entry["unique"] = d.Unique != 0;
  entry["caseInsensitive"] = d.CaseInsensitive != 0;
  entry["descending"] = d.Descending != 0;
  entry["descendingFields"] = descending;
  entry["compression"] =
      d.Compression < std::size(kCompressions) ? kCompressions[d.Compression] : "none";
  entry["keyLength"] = d.KeyLength;
  return entry;
}

// Everything info tells, as JSON; text output is made from it.
ordered_json Describe(TDataFile& file, const TTablePath& path) {
  const std::uint32_t locale = file.LocaleId();
  const platform::TCodePage& page =
      platform::CodePage(locale ? platform::AnsiCodePageOf(locale) : 1250);
  auto text = [&](const std::string& bytes) { return platform::Utf16ToUtf8(page.ToUtf16(bytes)); };
  ordered_json info;
  info["table"] = path.Path();
  info["locale"] = locale;
  if (const platform::TLocale* found = locale ? platform::FindLocale(locale) : nullptr) {
    info["localeName"] = found->IcuName();
  }
  info["codePage"] = locale ? platform::AnsiCodePageOf(locale) : 1250;
  info["enciphered"] = file.Header().Encrypted != 0;
  info["records"] = file.RecordCount();
  info["recordSize"] = file.Header().RecordSize;
  info["blobBlockSize"] = file.Header().BlobBlockSize;
  info["lastId"] = file.Header().LastRecordId;
  const platform::TFormatSettings& settings = TableFormatSettings(locale);
  ordered_json fields = ordered_json::array();
  for (const TFieldDescriptor& d : file.PhysicalFields()) {
    ordered_json field;
    field["name"] = text(d.Name);
    const std::string type = TypeNameOf(d.FieldTypeCode, d.SubTypeCode);
    field["type"] = type;
    if (type == "string" || type == "bytes" || type == "varbytes") field["size"] = d.DeclaredSize;
    if (type == "bcd") field["scale"] = d.DeclaredScale;
    if (d.RequiredFlag) field["required"] = true;
    const std::pair<const char*, const std::string*> checks[] = {
        {"min", &d.MinValue}, {"max", &d.MaxValue}, {"default", &d.DefaultValue}};
    for (const auto& [key, value] : checks) {
      if (!value->empty()) field[key] = text(CheckValueToTool(*value, d.FieldTypeCode, settings));
    }
    fields.push_back(field);
  }
  info["fields"] = fields;
  const TIndexFile& index = file.IndexFile();
  if (index.Descriptor(0).FieldCount > 0) {
    info["primaryIndex"] = IndexEntry(index.Descriptor(0), true, file.PhysicalFields(), text);
  }
  ordered_json indexes = ordered_json::array();
  for (int slot = 1; slot <= index.SecondaryCount(); ++slot) {
    const TIndexDescriptor& d = index.Descriptor(slot);
    if (d.FieldCount > 0) indexes.push_back(IndexEntry(d, false, file.PhysicalFields(), text));
  }
  info["indexes"] = indexes;
  ordered_json files;
  for (const char* extension : {".DAT", ".IDX", ".BLB"}) {
    std::error_code error;
    // The files as the engine found them: a name is looked up without regard to case when
    // it does not exist as written.
    const auto size =
        std::filesystem::file_size(platform::ResolveFileName(path.Path() + extension), error);
    if (!error) files[path.Name + extension] = size;
  }
  info["files"] = files;
  return info;
}

// One index's line: "  NAME (A, B) unique caseInsensitive key 64 bytes".
void PrintIndex(const std::string& name, const ordered_json& index) {
  std::cout << "  " << name << " (";
  std::string separator;
  for (const auto& f : index["fields"])
    std::cout << std::exchange(separator, ", ") << f.get<std::string>();
  std::cout << ")";
  for (const char* option : {"unique", "caseInsensitive", "descending"}) {
    if (index.value(option, false)) std::cout << " " << option;
  }
  for (const auto& f : index["descendingFields"])
    std::cout << " descending:" << f.get<std::string>();
  if (index["compression"] != "none")
    std::cout << " compression " << index["compression"].get<std::string>();
  std::cout << " key " << index["keyLength"].get<int>() << " bytes\n";
}

void PrintText(const ordered_json& info) {
  std::cout << "table        " << info["table"].get<std::string>() << "\n";
  std::cout << "locale       " << info["locale"].get<std::uint32_t>();
  if (info.contains("localeName"))
    std::cout << " (" << info["localeName"].get<std::string>() << ")";
  std::cout << ", code page " << info["codePage"].get<int>() << "\n";
  std::cout << "enciphered   "
            << (info["enciphered"].get<bool>()
                    ? "yes (keeps casual readers out; no protection against anyone who knows "
                      "the file format)"
                    : "no")
            << "\n";
  std::cout << "records      " << info["records"].get<int>() << "\n";
  std::cout << "record size  " << info["recordSize"].get<int>() << " bytes\n";
  std::cout << "last id      " << info["lastId"].get<int>() << "\n";
  for (const auto& [name, size] : info["files"].items()) {
    std::cout << "file         " << name << " " << size.get<std::uint64_t>() << " bytes\n";
  }
  std::cout << "fields\n";
  for (const auto& f : info["fields"]) {
    std::cout << "  " << f["name"].get<std::string>() << " " << f["type"].get<std::string>();
    if (f.contains("size")) std::cout << " size " << f["size"].get<int>();
    if (f.contains("scale")) std::cout << " scale " << f["scale"].get<int>();
    if (f.contains("required")) std::cout << " required";
    for (const char* key : {"min", "max", "default"}) {
      if (f.contains(key)) std::cout << " " << key << " " << f[key].get<std::string>();
    }
    std::cout << "\n";
  }
  std::cout << "indexes\n";
  if (info.contains("primaryIndex")) PrintIndex("(primary)", info["primaryIndex"]);
  for (const auto& i : info["indexes"]) PrintIndex(i["name"].get<std::string>(), i);
}

}  // namespace

int RunInfo(const TInfoOptions& options) {
  const TTablePath path = SplitTablePath(options.Table.Table);
  TIsamTable table(nullptr);
  OpenTable(table, options.Table, true);
  const ordered_json info = Describe(*table.Engine(), path);
  if (options.Json) {
    std::cout << info.dump(2) << "\n";
  } else {
    PrintText(info);
  }
  return 0;
}

}  // namespace katalog::isamtool
