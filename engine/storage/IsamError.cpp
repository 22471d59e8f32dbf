#include "engine/storage/IsamError.h"

#include <algorithm>

#include "engine/storage/FileSession.h"

namespace katalog {
namespace {

constexpr std::size_t kMaxShortString = 255;

std::string ShortString(std::string_view s) {
  return std::string(s.substr(0, std::min(s.size(), kMaxShortString)));
}

std::string BuildMessage(int code, const TErrorContext& c) {
  const std::string& file = c.FileName;
  const std::string& field = c.FieldName;
  const std::string& index = c.IndexName;
  switch (code) {
    case 8705:
      return "Beginning of file encountered in data file " + file;
    case 8706:
      return "End of file encountered in data file " + file;
    case 8708:
      return "Key not found in index " + index + " of data file " + file;
    case 8710:
      return "Record not found in data file " + file;
    case 8711:
      return "End of blob data in data file " + file + " reached prematurely";
    case 8961:
      return "Header information corrupt in data file " + file;
    case 8962:
      return "Data record buffers corrupt in data file " + file;
    case 8963:
      return "BLOB block buffers corrupt in data file " + file;
    case 8965:
      return "Index page buffers corrupt in data file " + file;
    case 9217:
      return "Error reading from data file " + file;
    case 9218:
      return "Error writing to data file " + file;
    case 9220:
      return "Cannot delete data file " + file;
    case 9221:
      return "Error accessing file header information for data file " + file;
    case 9477:
      return "Maximum record size exceeded in data file " + file;
    case 9479:
      return "The data file " + file + " is full and cannot contain any more data";
    case 9482:
      return "Too many filters defined for data file " + file;
    case 9487:
      return "Maximum or minimum limits on number of indexes or fields in an index exceeded in "
             "data file " +
             file;
    case 9492:
      return "Maximum or minimum limits on number of fields or field size exceeded in data file " +
             file;
    case 9494:
      return "Too many blobs opened in data file " + file;
    case 9498:
      return "Too many blob fields or invalid blob block size specified for data file " + file;
    case 9729:
      return "Duplicate key found in index " + index + " of data file " + file;
    case 9730:
      return "The value for the field " + field + " in data file " + file +
             " is below the minimum allowable value";
    case 9731:
      return "The value for the field " + field + " in data file " + file +
             " is above the maximum allowable value";
    case 9732:
      return "A value must be provided for the field " + field + " in data file " + file;
    case 9985:
      return "Invalid field number or name " + field + " specified for data file " + file;
    case 9993:
      return "A primary index is already defined for data file " + file +
             " and cannot be added again";
    case 9998:
      return "Invalid blob offset into data file " + file + " specified";
    case 10000:
      return "Invalid field definition specified for the field " + field + " in data file " + file;
    case 10006:
      return "Invalid default, min or max validity check, or expression specified for " + field +
             " in data file " + file;
    case 10010:
      return "The secondary index name is missing or not specified for data file " + file;
    case 10015:
      return "Password provided for data file " + file + " is invalid";
    case 10022:
      return "Invalid secondary index name " + index + " specified for data file " + file;
    case 10023:
      return "Invalid field number " + field + " specified in index " + index + " for data file " +
             file;
    case 10026:
      return "Invalid key size specified in index " + index + " for data file " + file;
    case 10027:
      return "The secondary index " + index + " already exists for data file " + file;
    case 10029:
      return "Invalid blob length in data file " + file;
    case 10030:
      return "Invalid blob handle for data file " + file + " specified";
    case 10031:
      return "Data file " + file + " is already in use";
    case 10038:
      return "Invalid or duplicate field name " + field + " specified for data file " + file;
    case 10050:
      return "Invalid filter handle specified for data file " + file;
    case 10051:
      return "Invalid filter expression specified for data file " + file;
    case 10055:
      return "The primary index cannot be removed from data file " + file;
    case 10241:
      return "The data file " + file + " is already locked by another user";
    case 10242:
      return "Cannot unlock data file or record in data file " + file;
    case 10249:
      return "General lock failure with data file " + file;
    case 10253:
      return "Data file " + file + " must be opened exclusively";
    case 10258:
      return "Record in data file " + file + " is in use by another user";
    case 10498:
      return "Insufficient rights to data file " + file + ", a password is required";
    case 10753:
      return "Invalid blob field " + field + " specified for data file " + file;
    case 10758:
      return "ISAM engine not initialized";
    case 11010:
      return "Invalid path or file name for data file " + file;
    case 11012:
      return "Too many files open while attempting to open data file " + file;
    case 11013:
      return "Access denied to data file " + file;
    case 11014:
      return "Invalid file handle for data file " + file;
    case 11016:
      return "There is insufficient operating system memory available for the current operation";
    case 11017:
      return "Invalid length for in-memory data file " + file;
    case 11023:
      return "Access denied to logical operating system device for data file " + file;
    case 11025:
      return "Data file " + file + " has been moved";
    case 11047:
      return "An unknown operating system error #" + std::to_string(c.OsError) +
             " occurred with data file " + file;
    case 11949:
      return "SQL - " + c.ExtraText;
    case 12035:
      return "Data file " + file + " is not the correct version";
    case 12292:
      return "Invalid field type specified for index " + index + " in data file " + file;
    case 15878:
      return "The language driver for data file " + file + " is not available or installed";
    default:
      return "Unknown error occurred with data file " + file;
  }
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
