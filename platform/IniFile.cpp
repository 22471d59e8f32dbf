#include "platform/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>

#include <unicode/unistr.h>

#include "platform/CodePage.h"
#include "platform/FileSystem.h"

namespace katalog::platform {
namespace {

constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeByteOrderMark = "\xFF\xFE";

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

// The content of a regular file, or nothing when it cannot be read whole. The file is opened
// without waiting, so a FIFO or device of that name cannot hang the reader, and anything but a
// regular file (a directory above all) is treated as missing.
std::string ReadRegularFile(const std::string& path) {
  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st;
  if (file.Get() < 0 || ::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  std::string bytes;
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(file.Get(), buffer, sizeof buffer);
    if (n > 0) {
      bytes.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0) {
      return bytes;
    } else if (errno != EINTR) {
      return {};
    }
  }
}

// Invalid sequences become U+FFFD (and so '?' in the code page).
std::u16string Utf8ToUtf16(std::string_view bytes) {
  const icu::UnicodeString text = icu::UnicodeString::fromUTF8(
      icu::StringPiece(bytes.data(), static_cast<int32_t>(bytes.size())));
  return std::u16string(reinterpret_cast<const char16_t*>(text.getBuffer()),
                        static_cast<std::size_t>(text.length()));
}

// A trailing odd byte is not a character and is dropped.
std::u16string Utf16LeToUtf16(std::string_view bytes) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                  static_cast<unsigned char>(bytes[i + 1]) << 8);
  }
  return text;
}

// The file's text as Windows-1250 bytes, whatever encoding its byte-order mark announces.
std::string ToWindows1250(std::string bytes) {
  const std::string_view view = bytes;
  if (view.starts_with(kUtf8ByteOrderMark)) {
    return CodePage(1250).FromUtf16(Utf8ToUtf16(view.substr(kUtf8ByteOrderMark.size())));
  }
  if (view.starts_with(kUtf16LeByteOrderMark)) {
    return CodePage(1250).FromUtf16(Utf16LeToUtf16(view.substr(kUtf16LeByteOrderMark.size())));
  }
  return bytes;
}

std::string_view TrimBlanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

char ToLowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b,
                            [](char x, char y) { return ToLowerAscii(x) == ToLowerAscii(y); });
}

std::string_view StripQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// The value of the first `key` in the first `section` of the text. A line that starts with '['
// and holds a ']' is a section header (whatever follows the ']' is ignored); a line that starts
// with '[' without a ']', a line without '=' and a key before the first header are ignored.
std::optional<std::string_view> FindValue(std::string_view text, std::string_view section,
                                          std::string_view key) {
  bool inSection = false;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find_first_of("\r\n"), text.size());
    const std::string_view line = TrimBlanks(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line.starts_with('[')) {
      const std::size_t close = line.find(']');
      if (close == std::string_view::npos) continue;
      // A later section of the same name is never consulted.
      if (inSection) return std::nullopt;
      inSection = SameIgnoringAsciiCase(TrimBlanks(line.substr(1, close - 1)), section);
      continue;
    }
    const std::size_t equals = line.find('=');
    if (inSection && equals != std::string_view::npos &&
        SameIgnoringAsciiCase(TrimBlanks(line.substr(0, equals)), key)) {
      return StripQuotes(TrimBlanks(line.substr(equals + 1)));
    }
  }
  return std::nullopt;
}

}  // namespace

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view defaultValue) const {
  const std::string text = ToWindows1250(ReadRegularFile(ResolveFileName(fileName_)));
  const std::string_view value = FindValue(text, section, key).value_or(defaultValue);
  return std::string(value.substr(0, kMaxProfileValueLength));
}

std::string GetPrivateProfileStringA(std::string_view section, std::string_view key,
                                     std::string_view defaultValue, std::string_view fileName) {
  return TIniFile(std::string(fileName)).ReadString(section, key, defaultValue);
}

}  // namespace katalog::platform
