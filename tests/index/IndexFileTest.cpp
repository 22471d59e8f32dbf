#include "engine/index/IndexFile.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>

#include "engine/index/IndexPage.h"
#include "engine/storage/Cipher.h"
#include "engine/storage/FileSession.h"
#include "engine/table/DataFile.h"
#include "platform/ByteOrder.h"
#include "support/TableFixture.h"

namespace katalog {
namespace {

using katalog::testing::EngineErrorOf;

class IndexFileTest : public katalog::testing::TableTest {
 protected:
  void Create(const std::string& password = "") {
    TTableDefinition def;
    def.TableName = TablePath();
    def.Password = password;
    def.Fields = {{"Id", 6}, {"Name", 1, 0, 20}};
    def.Indexes = {{"", {"Id"}, {}, true}, {"ByName", {"Name"}, {}, false, false, false, true}};
    CreateTable(def);
    if (!password.empty()) CurrentFileSession().AddPassword(password);
  }

  std::unique_ptr<TDataFile> Open(bool exclusive = false) {
    auto table = std::make_unique<TDataFile>();
    table->SetExclusive(exclusive);
    table->SetFileName(TablePath());
    table->Open();
    return table;
  }

  std::string IndexPath() const { return TablePath() + ".IDX"; }
};

TEST_F(IndexFileTest, PagesAreAppendedAfterTheHeader) {
  Create();
  EXPECT_EQ(std::filesystem::file_size(IndexPath()), 4096u);
  auto table = Open(true);
  TIndexFile& index = table->IndexFile();
  EXPECT_EQ(index.AppendPage(), 4096);
  EXPECT_EQ(index.Header().EndOfFile, 8192);
  EXPECT_TRUE(index.HeaderModified());
  std::array<std::uint8_t, kPageSize> page{};
  page[0] = ptRootLeaf;
  page[100] = 0x5A;
  index.WritePage(4096, page.data());
  std::array<std::uint8_t, kPageSize> back{};
  index.ReadPage(4096, back.data());
  EXPECT_EQ(back, page);
  EXPECT_EQ(index.AppendPage(), 8192);
  table->Close();  // writes the header
  EXPECT_EQ(std::filesystem::file_size(IndexPath()), 8192u);
  table = Open();
  EXPECT_EQ(table->IndexFile().Header().EndOfFile, 12288);
}

TEST_F(IndexFileTest, PageOffsetsOutsideTheFileAreCorrupt) {
  Create();
  auto table = Open(true);
  TIndexFile& index = table->IndexFile();
  index.AppendPage();
  std::array<std::uint8_t, kPageSize> page{};
  for (std::int32_t offset : {0, 100, 4097, 8192, -4096}) {
    std::string message;
    EXPECT_EQ(EngineErrorOf([&] { index.ReadPage(offset, page.data()); }, &message),
              ie::kIndexBuffersCorrupt)
        << offset;
    EXPECT_NE(message.find(IndexPath()), std::string::npos);
  }
  // The page was allocated but never written: reading it is a short read.
  EXPECT_EQ(EngineErrorOf([&] { index.ReadPage(4096, page.data()); }), ie::kReadError);
  index.MutableHeader().EndOfFile = 2000000000 + 4096;
  EXPECT_EQ(EngineErrorOf([&] { index.AppendPage(); }), ie::kTableFull);
}

TEST_F(IndexFileTest, EncipheredHeaderAndPages) {
  Create("klic");
  std::array<std::uint8_t, kIndexHeaderSize> header;
  {
    std::ifstream in(IndexPath(), std::ios::binary);
    in.read(reinterpret_cast<char*>(header.data()), kIndexHeaderSize);
  }
  EXPECT_NE(header[8], 3);  // the version byte is enciphered too
  ApplyCipher(header.data(), header.size(), kRecordSeeds);
  EXPECT_EQ(header[8], 3);
  EXPECT_EQ(DecodeIndexFileHeader(header.data()).Indexes[1].Name, "ByName");

  auto table = Open(true);
  TIndexFile& index = table->IndexFile();
  const std::int32_t offset = index.AppendPage();
  std::array<std::uint8_t, kPageSize> page{};
  page[0] = ptRootLeaf;
  index.WritePage(offset, page.data());
  std::array<std::uint8_t, kPageSize> back{};
  index.ReadPage(offset, back.data());
  EXPECT_EQ(back, page);
  table->Close();
  std::vector<std::uint8_t> file = ReadBytes(IndexPath());
  std::vector<std::uint8_t> stored(file.begin() + offset, file.begin() + offset + kPageSize);
  EXPECT_NE(stored[0], ptRootLeaf);
  ApplyCipher(stored.data(), stored.size(), kRecordSeeds);
  EXPECT_TRUE(std::equal(stored.begin(), stored.end(), page.begin()));
}

TEST_F(IndexFileTest, AnotherHandlersHeaderWriteIsNoticed) {
  Create("x");  // enciphered, so the counter is read through the cipher
  auto writer = Open();
  auto reader = Open();
  EXPECT_FALSE(reader->IndexFile().ReReadHeaderIfChanged());
  writer->IndexFile().IncrementRecordCount();
  writer->IndexFile().WriteHeader();
  EXPECT_TRUE(reader->IndexFile().ReReadHeaderIfChanged());
  EXPECT_EQ(reader->IndexFile().Header().ActiveRecords, 1);
  EXPECT_EQ(reader->IndexFile().Header().ChangeCounter, writer->IndexFile().Header().ChangeCounter);
  EXPECT_FALSE(reader->IndexFile().ReReadHeaderIfChanged());
}

TEST_F(IndexFileTest, DescriptorsThatDoNotFitTheTableAreCorrupt) {
  Create();
  const std::vector<std::uint8_t> pristine = ReadBytes(IndexPath());
  const std::size_t slot1 = 14 + 120;
  auto spoiled = [&](auto change) {
    std::vector<std::uint8_t> bytes = pristine;
    change(bytes);
    WriteBytes(IndexPath(), bytes);
    TDataFile table;
    table.SetFileName(TablePath());
    return EngineErrorOf([&] { table.Open(); });
  };
  EXPECT_EQ(spoiled([](auto&) {}), 0);
  EXPECT_EQ(spoiled([&](auto& b) { StoreU16(&b[slot1 + 31], 25); }),
            ie::kHeaderCorrupt);  // key length
  EXPECT_EQ(spoiled([&](auto& b) { StoreU16(&b[slot1 + 54], 0); }),
            ie::kHeaderCorrupt);  // field number
  EXPECT_EQ(spoiled([&](auto& b) { StoreU16(&b[slot1 + 54], 3); }), ie::kHeaderCorrupt);
  EXPECT_EQ(spoiled([&](auto& b) { b[slot1 + 37] = 0; }), ie::kHeaderCorrupt);  // no fields
  EXPECT_EQ(spoiled([&](auto& b) { b[slot1 + 37] = 17; }), ie::kHeaderCorrupt);
  EXPECT_EQ(spoiled([&](auto& b) { b[slot1 + 36] = 4; }), ie::kHeaderCorrupt);  // compression
  EXPECT_EQ(spoiled([](auto& b) { b[13] = 31; }), ie::kHeaderCorrupt);          // 31 secondary
  EXPECT_EQ(spoiled([](auto& b) { b[13] = 2; }), ie::kHeaderCorrupt);           // slot 2 empty
  EXPECT_EQ(spoiled([](auto& b) { StoreU16(&b[14 + 120 * 31 + 31], 6); }), ie::kHeaderCorrupt);
  EXPECT_EQ(spoiled([](auto& b) { StoreI32(&b[9], 100); }), ie::kHeaderCorrupt);  // end of file
  // Without a primary index slot 0 is not looked at.
  EXPECT_EQ(spoiled([](auto& b) {
              b[3978] = 1;
              StoreU16(&b[14 + 31], 999);
            }),
            0);
  EXPECT_EQ(spoiled([](auto& b) { b.resize(4095); }), ie::kReadError);
}

}  // namespace
}  // namespace katalog
