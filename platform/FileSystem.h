// File names and file facts as the engine and the program expect them on Linux: both '\' and '/'
// separate path parts, a name that does not exist exactly is looked up without regard to letter
// case, the read-only attribute is the absence of write permission (or a read-only mount), and
// errno values become the Windows error numbers the engine's error mapping knows.
#pragma once

#include <string>
#include <string_view>

namespace katalog::platform {

// Windows error numbers that the engine's error mapping distinguishes.
inline constexpr int kErrorFileNotFound = 2;
inline constexpr int kErrorPathNotFound = 3;
inline constexpr int kErrorTooManyOpenFiles = 4;
inline constexpr int kErrorAccessDenied = 5;
inline constexpr int kErrorInvalidHandle = 6;
inline constexpr int kErrorNotEnoughMemory = 8;
inline constexpr int kErrorNotSameDevice = 17;
inline constexpr int kErrorSharingViolation = 32;
inline constexpr int kErrorFileExists = 80;
inline constexpr int kErrorDiskFull = 112;
inline constexpr int kErrorNegativeSeek = 131;

// The Windows error number for an errno value. Numbers without a Windows counterpart are kept,
// except those that would read as a different Windows error.
int WindowsErrorFromErrno(int errnoValue);

// The path with every '\' turned into '/'.
std::string ToNativeSeparators(std::string_view path);

// The path of an existing file or directory: the name itself when it exists, otherwise the first
// entry of each directory level whose name matches without regard to ASCII letter case. When no
// such file exists the name is returned with native separators.
std::string ResolveFileName(std::string_view path);

bool FileExists(std::string_view path);

// True when the file carries the read-only attribute: no write permission bit is set, or its
// file system is mounted read-only. Independent of who asks (root included).
bool HasReadOnlyAttribute(const std::string& nativePath);

}  // namespace katalog::platform
