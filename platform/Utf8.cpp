#include "platform/Utf8.h"

#include <unicode/ustring.h>

#include <climits>

namespace katalog::platform {

bool TryUtf8ToUtf16(std::string_view bytes, std::u16string& text) {
  if (bytes.size() > INT32_MAX / 2) return false;
  std::u16string out(bytes.size(), u'\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8(reinterpret_cast<UChar*>(out.data()), static_cast<int32_t>(out.size()), &length,
                bytes.data(), static_cast<int32_t>(bytes.size()), &status);
  if (U_FAILURE(status)) return false;
  out.resize(static_cast<std::size_t>(length));
  text = std::move(out);
  return true;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out(text.size() * 3, '\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  // A lone surrogate cannot be written: it becomes U+FFFD.
  u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length,
                     reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()),
                     0xFFFD, nullptr, &status);
  out.resize(U_FAILURE(status) ? 0 : static_cast<std::size_t>(length));
  return out;
}

}  // namespace katalog::platform
