#include "engine/storage/IsamError.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "engine/storage/FileSession.h"

namespace katalog {
namespace {

constexpr std::size_t kMaxShortString = 255;

std::string ShortString(std::string_view s) {
  return std::string(s.substr(0, std::min(s.size(), kMaxShortString)));
}

struct TErrorEntry {
  int Code;
  std::string_view Text;
};

constexpr TErrorEntry kErrors[] = {
#define KATALOG_ISAM_ERROR_ENTRY(name, code, text) {code, text},
    KATALOG_ISAM_ERRORS(KATALOG_ISAM_ERROR_ENTRY)
#undef KATALOG_ISAM_ERROR_ENTRY
};

constexpr std::string_view kUnknownError = "Unknown error occurred with data file {file}";

std::string_view TextOf(int code) {
  for (const TErrorEntry& e : kErrors) {
    if (e.Code == code) return e.Text;
  }
  return kUnknownError;
}

// The text with each {placeholder} replaced by what the context holds.
std::string BuildMessage(int code, const TErrorContext& c) {
  const std::pair<std::string_view, std::string> values[] = {{"{file}", c.FileName},
                                                             {"{field}", c.FieldName},
                                                             {"{index}", c.IndexName},
                                                             {"{extra}", c.ExtraText},
                                                             {"{os}", std::to_string(c.OsError)}};
  const std::string_view text = TextOf(code);
  std::string message;
  for (std::size_t i = 0; i < text.size();) {
    const auto value = std::find_if(std::begin(values), std::end(values), [&](const auto& v) {
      return text.substr(i).starts_with(v.first);
    });
    if (value == std::end(values)) {
      message += text[i++];
    } else {
      message += value->second;
      i += value->first.size();
    }
  }
  return message;
}

}  // namespace

std::string IsamErrorMessage(int code) {
  static const TErrorContext kEmpty;
  const TFileSession* session = FindCurrentFileSession();
  std::string message = BuildMessage(code, session ? session->ErrorContext : kEmpty);
  if (message.size() > kMaxErrorMessageLength) message.resize(kMaxErrorMessageLength);
  return message;
}

EIsamEngineError::EIsamEngineError(int code) : EDatabaseError({}) {
  std::string text = IsamErrorMessage(code);
  SetMessage("ISAM Engine Error # " + std::to_string(code) + " " + text);
  errors_.push_back({code, std::move(text)});
}

void RaiseIsamError(int code, std::string_view fileName, std::string_view fieldName,
                    std::string_view indexName, std::string_view extraText) {
  TFileSession* session = FindCurrentFileSession();
  // Without a file session the engine is not started: there is no context to keep the names
  // in, and the error is that the engine was used at all.
  if (!session) throw EIsamEngineError(ie::kNotInitialized);
  TErrorContext& c = session->ErrorContext;
  c.ErrorCode = 0;
  c.FieldName.clear();
  c.FileName.clear();
  c.ExtraText.clear();
  c.IndexName.clear();
  c.ErrorCode = static_cast<std::uint16_t>(code);
  if (code != ie::kNotInitialized) {
    c.FileName = ShortString(fileName);
    c.FieldName = ShortString(fieldName);
    c.IndexName = ShortString(indexName);
    c.ExtraText = ShortString(extraText);
  }
  throw EIsamEngineError(code);
}

void RaiseIfIsamError(int code) {
  if (code == 0) return;
  if (!FindCurrentFileSession()) throw EIsamEngineError(ie::kNotInitialized);
  throw EIsamEngineError(code);
}

int EngineCodeForOsError(int osError) {
  switch (osError) {
    case 2:
    case 3:
      return ie::kInvalidPath;
    case 4:
      return ie::kTooManyFiles;
    case 5:
    case 32:
    case 65:
      return ie::kAccessDenied;
    case 6:
      return ie::kInvalidHandle;
    case 8:
      return ie::kOutOfMemory;
    case 15:
      return ie::kInvalidDevice;
    case 17:
      return ie::kFileMoved;
    default:
      return ie::kUnknownOsError;
  }
}

void StoreOsError(int osError) {
  if (TFileSession* session = FindCurrentFileSession()) {
    session->ErrorContext.OsError = static_cast<std::uint16_t>(osError);
  }
}

void RaiseOsError(int osError, std::string_view fileName) {
  StoreOsError(osError);
  RaiseIsamError(EngineCodeForOsError(osError), fileName);
}

}  // namespace katalog
