#include "platform/FileSystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "support/TempDir.h"

namespace katalog::platform {
namespace {

TEST(FileSystemTest, ErrnoBecomesWindowsErrorNumbers) {
  EXPECT_EQ(WindowsErrorFromErrno(ENOENT), 2);
  EXPECT_EQ(WindowsErrorFromErrno(ENOTDIR), 3);
  EXPECT_EQ(WindowsErrorFromErrno(EMFILE), 4);
  EXPECT_EQ(WindowsErrorFromErrno(ENFILE), 4);
  for (int e : {EACCES, EPERM, EROFS, ETXTBSY}) EXPECT_EQ(WindowsErrorFromErrno(e), 5) << e;
  EXPECT_EQ(WindowsErrorFromErrno(EBADF), 6);
  EXPECT_EQ(WindowsErrorFromErrno(ENOMEM), 8);
  EXPECT_EQ(WindowsErrorFromErrno(EXDEV), 17);
  EXPECT_EQ(WindowsErrorFromErrno(EWOULDBLOCK), 32);
  EXPECT_EQ(WindowsErrorFromErrno(ENOSPC), 112);
  // errno values that would read as another Windows error do not keep their number.
  EXPECT_EQ(WindowsErrorFromErrno(EEXIST), 80);
  EXPECT_EQ(WindowsErrorFromErrno(EIO), 1117);
  EXPECT_EQ(WindowsErrorFromErrno(EINTR), 1117);
  // Others keep theirs.
  EXPECT_EQ(WindowsErrorFromErrno(ESTALE), ESTALE);
}

TEST(FileSystemTest, NamesResolveWithEitherSeparatorAndAnyCase) {
  katalog::testing::TempDir dir;
  std::filesystem::create_directory(dir.File("Data"));
  dir.Write("Data/Restaurace.DAT", "x");
  dir.Write("Data/data.ini", "y");

  EXPECT_EQ(ToNativeSeparators("data\\data.ini"), "data/data.ini");
  EXPECT_EQ(ResolveFileName(dir.Path() + "\\Data\\data.ini"), dir.File("Data/data.ini"));
  EXPECT_EQ(ResolveFileName(dir.Path() + "/DATA/restaurace.dat"), dir.File("Data/Restaurace.DAT"));
  EXPECT_EQ(ResolveFileName(dir.Path() + "/data/DATA.INI"), dir.File("Data/data.ini"));
  EXPECT_TRUE(FileExists(ResolveFileName(dir.Path() + "/data/DATA.INI")));
  // Nothing matches: the name comes back with native separators.
  EXPECT_EQ(ResolveFileName(dir.Path() + "\\data\\missing.ini"), dir.Path() + "/data/missing.ini");

  // An exact match wins over a case-insensitive one.
  dir.Write("Data/DATA.INI", "z");
  EXPECT_EQ(ResolveFileName(dir.Path() + "/Data/DATA.INI"), dir.File("Data/DATA.INI"));

  // Relative names resolve against the working directory.
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.Path());
  EXPECT_EQ(ResolveFileName("data\\restaurace.dat"), "Data/Restaurace.DAT");
  std::filesystem::current_path(previous);
}

TEST(FileSystemTest, ReadOnlyAttributeIsTheMissingWritePermission) {
  katalog::testing::TempDir dir;
  const std::string file = dir.Write("table.DAT", "data");
  EXPECT_FALSE(HasReadOnlyAttribute(file));
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  // True whoever asks, root included (access(2) would say root may write).
  EXPECT_TRUE(HasReadOnlyAttribute(file));
  ASSERT_EQ(::chmod(file.c_str(), 0200), 0);
  EXPECT_FALSE(HasReadOnlyAttribute(file));
  EXPECT_FALSE(HasReadOnlyAttribute(dir.File("missing")));
}

}  // namespace
}  // namespace katalog::platform
