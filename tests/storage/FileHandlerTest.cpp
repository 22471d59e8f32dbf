#include "engine/storage/FileHandler.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <utility>
#include <vector>

#include "engine/storage/TableLocks.h"
#include "platform/RangeLock.h"
#include "support/EngineFixture.h"
#include "support/ProcessHelper.h"
#include "support/TempDir.h"

namespace katalog {
namespace {

using katalog::testing::EngineErrorOf;
using katalog::testing::EngineErrorText;

class FileHandlerTest : public katalog::testing::EngineTest {
 protected:
  std::unique_ptr<TFileHandler> Handler(const std::string& name, bool exclusive = false,
                                        bool readOnly = false, bool inMemory = false) {
    auto handler = std::make_unique<TFileHandler>();
    handler->SetInMemory(inMemory);
    handler->SetExclusive(exclusive);
    handler->SetReadOnly(readOnly);
    handler->SetFileName(name);
    return handler;
  }

  // A disk file with the given bytes, created through the engine.
  std::string MakeFile(const std::string& name, const std::string& bytes) {
    auto handler = Handler(dir_.File(name), true);
    handler->CreateEmpty();
    handler->Write(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    return dir_.File(name);
  }

  katalog::testing::TempDir dir_;
};

TEST_F(FileHandlerTest, CreateWriteReadAndCut) {
  const std::string name = dir_.File("T.DAT");
  auto file = Handler(name);
  EXPECT_EQ(EngineErrorOf([&] { file->CreateEmpty(); }),
            ie::kExclusiveRequired);  // needs Exclusive
  EXPECT_FALSE(file->IsOpen());

  file = Handler(name, true);
  file->CreateEmpty();
  EXPECT_TRUE(file->IsOpen());
  file->Write("0123456789", 10);
  EXPECT_EQ(file->GetSize(), 10);
  EXPECT_EQ(file->Seek(2, 0), 2);
  char buffer[16] = {};
  EXPECT_EQ(file->Read(buffer, 3), 3);
  EXPECT_EQ(std::string(buffer, 3), "234");
  EXPECT_EQ(file->Seek(-1, 1), 4);
  EXPECT_EQ(file->Read(buffer, 1), 1);
  EXPECT_EQ(buffer[0], '4');

  // A short read is kReadError naming the file, unless tolerated.
  file->Seek(8, 0);
  std::string message;
  EXPECT_EQ(EngineErrorOf([&] { file->Read(buffer, 5); }, &message), ie::kReadError);
  EXPECT_EQ(message, EngineErrorText(ie::kReadError) + " Error reading from data file " + name);
  file->Seek(8, 0);
  EXPECT_EQ(file->Read(buffer, 5, true), 2);

  // Writing nothing cuts the file at the position.
  file->Seek(6, 0);
  file->Write(nullptr, 0);
  EXPECT_EQ(file->GetSize(), 6);

  EXPECT_EQ(EngineErrorOf([&] { file->Seek(-7, 1); }, &message), ie::kUnknownOsError);
  EXPECT_NE(message.find("error #131 occurred with data file " + name), std::string::npos);
  file->Flush();
  file->Close();
  EXPECT_EQ(std::filesystem::file_size(name), 6u);

  // Creating again replaces the file with an empty one.
  file->CreateEmpty();
  EXPECT_EQ(file->GetSize(), 0);
}

TEST_F(FileHandlerTest, SettingsChangeOnlyWhileClosed) {
  const std::string name = MakeFile("S.DAT", "abc");
  auto file = Handler(name);
  file->Open();
  EXPECT_EQ(EngineErrorOf([&] { file->SetExclusive(true); }), ie::kFileInUse);
  EXPECT_EQ(EngineErrorOf([&] { file->SetReadOnly(true); }), ie::kFileInUse);
  EXPECT_EQ(EngineErrorOf([&] { file->SetInMemory(true); }), ie::kFileInUse);
  EXPECT_EQ(EngineErrorOf([&] { file->SetFileName(name + "x"); }), ie::kFileInUse);
  EXPECT_EQ(EngineErrorOf([&] { file->Delete(); }), ie::kFileInUse);
  EXPECT_EQ(EngineErrorOf([&] { file->Rename(name + "x"); }), ie::kFileInUse);
  EXPECT_EQ(EngineErrorOf([&] { file->CreateEmpty(); }), ie::kFileInUse);
  // Unchanged values are accepted.
  file->SetExclusive(false);
  file->SetFileName(name);
  // Write-through asked while open is ignored.
  file->SetWriteThrough(true);
  EXPECT_FALSE(file->WriteThrough());
  file->Open();  // already open: nothing happens
  file->Close();
  EXPECT_EQ(file->Handle(), 0);
  file->SetWriteThrough(true);
  EXPECT_TRUE(file->WriteThrough());
  file->Open();
  char buffer[3];
  EXPECT_EQ(file->Read(buffer, 3), 3);
}

TEST_F(FileHandlerTest, MissingFilesAndDirectories) {
  std::string message;
  auto missing = Handler(dir_.File("none.DAT"));
  EXPECT_EQ(EngineErrorOf([&] { missing->Open(); }, &message), ie::kInvalidPath);
  EXPECT_EQ(message, EngineErrorText(ie::kInvalidPath) +
                         " Invalid path or file name for data file " + dir_.File("none.DAT"));
  EXPECT_FALSE(missing->Exists());
  EXPECT_EQ(EngineErrorOf([&] { missing->Delete(); }), ie::kDeleteError);
  EXPECT_EQ(EngineErrorOf([&] { Handler(dir_.File("no/dir/x.DAT"))->Open(); }), ie::kInvalidPath);
  EXPECT_EQ(EngineErrorOf([&] { Handler(dir_.Path())->Open(); }), ie::kAccessDenied);
  auto closed = Handler(dir_.File("none.DAT"));
  char c;
  EXPECT_EQ(EngineErrorOf([&] { closed->Read(&c, 1); }), ie::kInvalidHandle);
}

TEST_F(FileHandlerTest, NamesResolveWithBackslashesAndAnyCase) {
  std::filesystem::create_directory(dir_.File("Data"));
  MakeFile("Data/Restaurace.DAT", "xyz");
  auto file = Handler(dir_.Path() + "\\DATA\\restaurace.dat");
  EXPECT_TRUE(file->Exists());
  file->Open();
  EXPECT_EQ(file->GetSize(), 3);
}

TEST_F(FileHandlerTest, ReadOnlyAttributeOpensReadOnlyMediaEvenForRoot) {
  const std::string name = MakeFile("CD.DAT", "catalogue");
  ASSERT_EQ(::chmod(name.c_str(), 0444), 0);
  auto file = Handler(name);
  ASSERT_FALSE(file->ReadOnly());
  file->Open();
  EXPECT_TRUE(file->ReadOnly());
  EXPECT_TRUE(file->ReadOnlyMedia());
  char buffer[9];
  EXPECT_EQ(file->Read(buffer, 9), 9);
  // The descriptor is read-only: a write fails cleanly and changes nothing.
  EXPECT_EQ(EngineErrorOf([&] { file->Write("X", 1); }), ie::kWriteError);
  file->Close();
  EXPECT_EQ(std::filesystem::file_size(name), 9u);
}

// A file nobody can write is read from a mapping: short reads, long reads past the mapped
// length's end and bytes in place agree with the file. Cut while open (its owner gave the
// permission back), it reads as unreadable instead of ending the program with SIGBUS.
TEST_F(FileHandlerTest, ReadOnlyMediaIsMappedAndACutFileFailsCleanly) {
  std::string bytes(3 * 4096 + 100, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 26);
  const std::string name = MakeFile("CD.BLB", bytes);
  ASSERT_EQ(::chmod(name.c_str(), 0444), 0);
  auto file = Handler(name);
  file->Open();
  std::vector<char> buffer(bytes.size() + 10);
  for (int i = 0; i < TFileHandler::kReadsBeforeMapping; ++i) {
    EXPECT_FALSE(file->Mapped());
    file->Seek(i, 0);
    ASSERT_EQ(file->Read(buffer.data(), 1), 1);
    EXPECT_EQ(buffer[0], bytes[i]);
  }
  ASSERT_TRUE(file->Mapped());
  for (const auto& [at, count] : std::vector<std::pair<std::int64_t, std::int32_t>>{
           {0, 10}, {4090, 20}, {5, 12000}, {12200, 200}}) {
    file->Seek(at, 0);
    const std::int32_t expected =
        std::min<std::int32_t>(count, static_cast<std::int32_t>(bytes.size() - at));
    ASSERT_EQ(file->Read(buffer.data(), count, true), expected) << at;
    EXPECT_EQ(std::string(buffer.data(), expected), bytes.substr(at, expected)) << at;
  }
  const auto inPlace = file->MappedBytes(4096, 26);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(inPlace.data()), inPlace.size()),
            bytes.substr(4096, 26));
  EXPECT_TRUE(file->MappedBytes(12000, 1000).empty());  // past the end

  // A page read once is read with a system call, read again from the mapping.
  for (int twice = 0; twice < 2; ++twice) {
    file->Seek(8192, 0);
    ASSERT_EQ(file->Read(buffer.data(), 100), 100);
  }
  ASSERT_EQ(::chmod(name.c_str(), 0644), 0);
  ASSERT_EQ(::truncate(name.c_str(), 100), 0);
  file->Seek(8192, 0);
  EXPECT_EQ(EngineErrorOf([&] { file->Read(buffer.data(), 100); }), ie::kReadError);
  file->Close();
  // A writable file is not mapped.
  file = Handler(name);
  file->Open();
  for (int i = 0; i < TFileHandler::kReadsBeforeMapping; ++i) file->Read(buffer.data(), 1, true);
  EXPECT_FALSE(file->Mapped());
}

TEST_F(FileHandlerTest, ExclusiveOpensShareWithNobody) {
  const std::string name = MakeFile("X.DAT", "x");
  auto shared1 = Handler(name);
  auto shared2 = Handler(name, false, true);
  shared1->Open();
  shared2->Open();
  auto exclusive = Handler(name, true);
  std::string message;
  EXPECT_EQ(EngineErrorOf([&] { exclusive->Open(); }, &message), ie::kAccessDenied);
  EXPECT_EQ(message, EngineErrorText(ie::kAccessDenied) + " Access denied to data file " + name);
  EXPECT_EQ(EngineErrorOf([&] { exclusive->CreateEmpty(); }), ie::kAccessDenied);
  EXPECT_EQ(std::filesystem::file_size(name), 1u);  // nothing was cut
  shared1->Close();
  shared2->Close();
  exclusive->Open();
  EXPECT_EQ(EngineErrorOf([&] { shared1->Open(); }), ie::kAccessDenied);
}

TEST_F(FileHandlerTest, ExclusiveHandlerLocksWithoutTouchingTheFile) {
  const std::string name = MakeFile("E.IDX", "i");
  auto exclusive = Handler(name, true);
  exclusive->Open();
  EXPECT_TRUE(exclusive->LockRegion(kWriteRangeOffset, kWriteRangeLength));
  EXPECT_TRUE(exclusive->LockRegion(kWriteRangeOffset, kWriteRangeLength));
  EXPECT_TRUE(exclusive->UnlockRegion(1, 1));
  // No lock was placed: a plain open of the file can take the whole range.
  const int fd = ::open(name.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(platform::TryLockRange(fd, kWriteRangeOffset, kWriteRangeLength, true));
  ::close(fd);
}

TEST_F(FileHandlerTest, LocksBetweenTwoHandlersInOneProcess) {
  const std::string name = MakeFile("L.IDX", "index");
  auto a = Handler(name);
  auto b = Handler(name);
  a->Open();
  b->Open();
  // Two read slots coexist; the write range fails while either is held.
  EXPECT_TRUE(a->LockRegion(kReadSlotBase - 1, 1));
  EXPECT_TRUE(b->LockRegion(kReadSlotBase - 2, 1));
  EXPECT_FALSE(a->LockRegion(kWriteRangeOffset, kWriteRangeLength));  // overlaps its own slot
  EXPECT_TRUE(a->UnlockRegion(kReadSlotBase - 1, 1));
  EXPECT_FALSE(a->LockRegion(kWriteRangeOffset, kWriteRangeLength));  // b's slot
  EXPECT_TRUE(b->UnlockRegion(kReadSlotBase - 2, 1));
  EXPECT_TRUE(a->LockRegion(kWriteRangeOffset, kWriteRangeLength));
  EXPECT_FALSE(b->LockRegion(kReadSlotBase - 3, 1));
  // Only a held range unlocks.
  EXPECT_FALSE(b->UnlockRegion(kReadSlotBase - 3, 1));
  EXPECT_FALSE(a->UnlockRegion(kWriteRangeOffset, 1));
  EXPECT_FALSE(a->LockRegion(1, 0));

  // Closing a third handler of the file does not release a's range.
  auto c = Handler(name);
  c->Open();
  c->Close();
  EXPECT_FALSE(b->LockRegion(kReadSlotBase - 3, 1));
  a->Close();
  EXPECT_TRUE(b->LockRegion(kReadSlotBase - 3, 1));
}

TEST_F(FileHandlerTest, LocksBetweenTwoProcesses) {
  const std::string name = MakeFile("P.IDX", "index");
  katalog::testing::ChildProcess child([&](const auto& ready, const auto& wait) {
    auto mine = Handler(name);
    mine->Open();
    if (!mine->LockRegion(kReadSlotBase - 100, 1)) throw 1;
    ready();
    wait();
  });
  ASSERT_TRUE(child.WaitReady());
  auto reader = Handler(name);
  auto writer = Handler(name);
  reader->Open();
  writer->Open();
  EXPECT_TRUE(reader->LockRegion(kReadSlotBase - 101, 1));  // read slots coexist
  EXPECT_TRUE(reader->UnlockRegion(kReadSlotBase - 101, 1));
  EXPECT_FALSE(writer->LockRegion(kWriteRangeOffset, kWriteRangeLength));
  EXPECT_EQ(child.Release(), 0);
  // The child's locks ended with it.
  EXPECT_TRUE(writer->LockRegion(kWriteRangeOffset, kWriteRangeLength));
}

TEST_F(FileHandlerTest, DeleteRenameAndCopy) {
  std::string bytes(65535 * 2 + 17, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  const std::string name = MakeFile("C.DAT", bytes);
  auto file = Handler(name);
  EXPECT_EQ(EngineErrorOf([&] { file->CopyTo(dir_.File("D.DAT")); }),
            ie::kInvalidHandle);  // not open
  file->Open();
  file->CopyTo(dir_.File("D.DAT"));
  file->Close();
  auto copy = Handler(dir_.File("D.DAT"));
  copy->Open();
  std::string read(bytes.size(), '\0');
  EXPECT_EQ(copy->Read(read.data(), static_cast<std::int32_t>(read.size())),
            static_cast<std::int32_t>(bytes.size()));
  EXPECT_EQ(read, bytes);
  copy->Close();

  // A rename never replaces another file.
  std::string message;
  EXPECT_EQ(EngineErrorOf([&] { file->Rename(dir_.File("D.DAT")); }, &message),
            ie::kUnknownOsError);
  EXPECT_NE(message.find("error #80 "), std::string::npos);
  EXPECT_EQ(file->FileName(), name);
  file->Rename(dir_.File("E.DAT"));
  EXPECT_EQ(file->FileName(), dir_.File("E.DAT"));
  EXPECT_FALSE(std::filesystem::exists(name));
  file->Delete();
  EXPECT_FALSE(file->Exists());
  EXPECT_EQ(EngineErrorOf([&] { file->Delete(); }), ie::kDeleteError);
}

TEST_F(FileHandlerTest, InMemoryFiles) {
  auto file = Handler("MEM.DAT", true, false, true);
  EXPECT_FALSE(file->Exists());
  EXPECT_EQ(EngineErrorOf([&] { file->Open(); }), ie::kInvalidPath);
  file->CreateEmpty();
  EXPECT_GT(file->Handle(), 0);
  file->Write("memory", 6);
  EXPECT_EQ(file->GetSize(), 6);
  file->Seek(0, 0);
  char buffer[6];
  EXPECT_EQ(file->Read(buffer, 6), 6);
  EXPECT_EQ(EngineErrorOf([&] { file->Read(buffer, 1); }), ie::kReadError);
  EXPECT_EQ(file->MemoryFile()->Capacity(), 65535u);

  auto shared = Handler("mem.dat", false, false, true);
  EXPECT_EQ(EngineErrorOf([&] { shared->Open(); }), ie::kAccessDenied);  // created exclusively
  file->CopyTo("COPY.DAT");
  file->Close();
  shared->Open();
  auto other = Handler("MEM.DAT", false, false, true);
  other->Open();
  EXPECT_NE(shared->Handle(), other->Handle());
  // Locks go through the memory file's lock list.
  EXPECT_TRUE(shared->LockRegion(kReadSlotBase - 5, 1));
  EXPECT_FALSE(other->LockRegion(kWriteRangeOffset, kWriteRangeLength));
  EXPECT_TRUE(shared->UnlockRegion(kReadSlotBase - 5, 1));
  EXPECT_TRUE(other->LockRegion(kWriteRangeOffset, kWriteRangeLength));
  shared->Close();
  other->Close();

  auto copy = Handler("copy.dat", false, false, true);
  copy->Open();
  EXPECT_EQ(copy->GetSize(), 6);
  copy->Close();
  copy->Rename("moved.dat");
  EXPECT_EQ(copy->FileName(), "moved.dat");
  copy->Delete();
  EXPECT_FALSE(copy->Exists());
  EXPECT_EQ(EngineErrorOf([&] { copy->Delete(); }), ie::kDeleteError);
}

TEST(FileHandlerWithoutEngineTest, MemoryFilesNeedTheEngine) {
  TFileHandler file;
  file.SetInMemory(true);
  file.SetExclusive(true);
  file.SetFileName("M.DAT");
  EXPECT_EQ(EngineErrorOf([&] { file.CreateEmpty(); }), ie::kNotInitialized);
  EXPECT_FALSE(file.IsOpen());
}

}  // namespace
}  // namespace katalog
