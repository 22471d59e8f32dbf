// Reading profile (INI) files, as the program reads its data.ini: sections and keys match without
// regard to ASCII letter case, the first matching section and the first matching key in it win,
// values are cut to 2047 bytes, and a missing file, section or key gives the caller's default.
// Files are never written.
//
// Text is returned as Windows-1250 bytes. Files are Windows-1250 unless they start with a UTF-8
// byte-order mark (EF BB BF) or a UTF-16LE one (FF FE); such text is converted to Windows-1250,
// characters the page cannot hold becoming '?'.
//
// A TIniFile holds only the file name; the file is looked up and read again on every call, so a
// changed file is seen at once.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace katalog::platform {

// The longest value a profile read returns, in bytes.
inline constexpr std::size_t kMaxProfileValueLength = 2047;

class TIniFile {
 public:
  // The name may separate path parts with '\' or '/' and may differ in letter case from the file
  // on disk.
  explicit TIniFile(std::string fileName);

  const std::string& FileName() const { return fileName_; }

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view defaultValue) const;

 private:
  std::string fileName_;
};

std::string GetPrivateProfileStringA(std::string_view section, std::string_view key,
                                     std::string_view defaultValue, std::string_view fileName);

}  // namespace katalog::platform
