#include "platform/FileSystem.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace katalog::platform {
namespace {

constexpr int kErrorIoDevice = 1117;
constexpr int kErrorInvalidParameter = 87;
constexpr int kErrorFileNameTooLong = 206;

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char c) {
      return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// The name of the first entry of `directory` that equals `name` without regard to letter case.
std::string FindEntryIgnoringCase(const std::string& directory, std::string_view name) {
  struct Closer {
    void operator()(DIR* d) const { closedir(d); }
  };
  std::unique_ptr<DIR, Closer> dir(opendir(directory.empty() ? "." : directory.c_str()));
  if (!dir) return {};
  while (const dirent* entry = readdir(dir.get())) {
    if (SameIgnoringAsciiCase(entry->d_name, name)) return entry->d_name;
  }
  return {};
}

}  // namespace

int WindowsErrorFromErrno(int e) {
  switch (e) {
    case ENOENT:
    case ENXIO:
      return kErrorFileNotFound;
    case ENOTDIR:
    case ELOOP:
      return kErrorPathNotFound;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
    case EISDIR:
      return kErrorAccessDenied;
    case EBADF:
      return kErrorInvalidHandle;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case EXDEV:
      return kErrorNotSameDevice;
    case EAGAIN:
    case EBUSY:
      return kErrorSharingViolation;
    case EEXIST:
      return kErrorFileExists;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kErrorDiskFull;
    case ENAMETOOLONG:
      return kErrorFileNameTooLong;
    case EINVAL:
      return kErrorInvalidParameter;
    case EIO:
      return kErrorIoDevice;
    default:
      // Kept as they are, unless the number would read as another Windows error.
      return (e <= kErrorSharingViolation || e == 65) ? kErrorIoDevice : e;
  }
}

std::string ToNativeSeparators(std::string_view path) {
  std::string native(path);
  for (char& c : native) {
    if (c == '\\') c = '/';
  }
  return native;
}

bool FileExists(std::string_view path) {
  struct stat st;
  return ::stat(std::string(path).c_str(), &st) == 0;
}

std::string ResolveFileName(std::string_view path) {
  const std::string native = ToNativeSeparators(path);
  if (native.empty() || FileExists(native)) return native;

  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= native.size()) {
    const std::size_t slash = native.find('/', start);
    const std::size_t end = slash == std::string::npos ? native.size() : slash;
    parts.push_back(native.substr(start, end - start));
    start = end + 1;
  }
  std::string resolved = native[0] == '/' ? "/" : "";
  std::string directory = resolved;
  for (std::size_t i = native[0] == '/' ? 1 : 0; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    std::string name = part;
    if (!part.empty() && part != "." && part != ".." && !FileExists(directory + part)) {
      name = FindEntryIgnoringCase(directory, part);
      if (name.empty()) return native;
    }
    resolved = directory + name;
    directory = resolved.empty() || resolved.back() == '/' ? resolved : resolved + "/";
  }
  return resolved;
}

bool HasReadOnlyAttribute(const std::string& nativePath) {
  struct stat st;
  if (::stat(nativePath.c_str(), &st) != 0) return false;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
  struct statvfs fs;
  return ::statvfs(nativePath.c_str(), &fs) == 0 && (fs.f_flag & ST_RDONLY) != 0;
}

}  // namespace katalog::platform
