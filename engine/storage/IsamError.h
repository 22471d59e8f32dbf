// Engine errors: the numeric codes, their message texts, and EIsamEngineError.
//
// Every failure inside the engine records its code and the names concerned (file, field, index,
// extra text) in the error context of the current file session, then raises EIsamEngineError,
// whose message is "ISAM Engine Error # <code> <text>"; the text names what the context holds and
// is at most 127 characters.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "dataset/DatabaseError.h"

namespace katalog {

// The engine's errors, one line each: the name (as ie::k<Name>), the code that messages, files
// of other programs and scripts know it by, and the message text. In the text, {file}, {field},
// {index}, {extra} and {os} stand for the names the error context holds and the operating
// system's error number. Messages come only from here; everything else names errors by ie::k...
#define KATALOG_ISAM_ERRORS(X)                                                                     \
  X(BeginningOfFile, 8705, "Beginning of file encountered in data file {file}")                    \
  X(EndOfFile, 8706, "End of file encountered in data file {file}")                                \
  X(KeyNotFound, 8708, "Key not found in index {index} of data file {file}")                       \
  X(RecordNotFound, 8710, "Record not found in data file {file}")                                  \
  X(EndOfBlob, 8711, "End of blob data in data file {file} reached prematurely")                   \
  X(HeaderCorrupt, 8961, "Header information corrupt in data file {file}")                         \
  X(RecordBuffersCorrupt, 8962, "Data record buffers corrupt in data file {file}")                 \
  X(BlobBuffersCorrupt, 8963, "BLOB block buffers corrupt in data file {file}")                    \
  X(IndexBuffersCorrupt, 8965, "Index page buffers corrupt in data file {file}")                   \
  X(ReadError, 9217, "Error reading from data file {file}")                                        \
  X(WriteError, 9218, "Error writing to data file {file}")                                         \
  X(DeleteError, 9220, "Cannot delete data file {file}")                                           \
  X(HeaderAccess, 9221, "Error accessing file header information for data file {file}")            \
  X(RecordTooLarge, 9477, "Maximum record size exceeded in data file {file}")                      \
  X(TableFull, 9479, "The data file {file} is full and cannot contain any more data")              \
  X(TooManyFilters, 9482, "Too many filters defined for data file {file}")                         \
  X(IndexLimits, 9487,                                                                             \
    "Maximum or minimum limits on number of indexes or fields in an index exceeded in data file "  \
    "{file}")                                                                                      \
  X(FieldLimits, 9492,                                                                             \
    "Maximum or minimum limits on number of fields or field size exceeded in data file {file}")    \
  X(TooManyBlobs, 9494, "Too many blobs opened in data file {file}")                               \
  X(BlobDefinition, 9498,                                                                          \
    "Too many blob fields or invalid blob block size specified for data file {file}")              \
  X(DuplicateKey, 9729, "Duplicate key found in index {index} of data file {file}")                \
  X(BelowMinimum, 9730,                                                                            \
    "The value for the field {field} in data file {file} is below the minimum allowable value")    \
  X(AboveMaximum, 9731,                                                                            \
    "The value for the field {field} in data file {file} is above the maximum allowable value")    \
  X(ValueRequired, 9732, "A value must be provided for the field {field} in data file {file}")     \
  X(InvalidField, 9985, "Invalid field number or name {field} specified for data file {file}")     \
  X(PrimaryIndexExists, 9993,                                                                      \
    "A primary index is already defined for data file {file} and cannot be added again")           \
  X(InvalidBlobOffset, 9998, "Invalid blob offset into data file {file} specified")                \
  X(InvalidFieldDefinition, 10000,                                                                 \
    "Invalid field definition specified for the field {field} in data file {file}")                \
  X(InvalidFieldCheck, 10006,                                                                      \
    "Invalid default, min or max validity check, or expression specified for {field} in data "     \
    "file {file}")                                                                                 \
  X(IndexNameMissing, 10010,                                                                       \
    "The secondary index name is missing or not specified for data file {file}")                   \
  X(InvalidPassword, 10015, "Password provided for data file {file} is invalid")                   \
  X(InvalidIndexName, 10022,                                                                       \
    "Invalid secondary index name {index} specified for data file {file}")                         \
  X(InvalidIndexField, 10023,                                                                      \
    "Invalid field number {field} specified in index {index} for data file {file}")                \
  X(InvalidKeySize, 10026, "Invalid key size specified in index {index} for data file {file}")     \
  X(IndexExists, 10027, "The secondary index {index} already exists for data file {file}")         \
  X(InvalidBlobLength, 10029, "Invalid blob length in data file {file}")                           \
  X(InvalidBlobHandle, 10030, "Invalid blob handle for data file {file} specified")                \
  X(FileInUse, 10031, "Data file {file} is already in use")                                        \
  X(InvalidFieldName, 10038,                                                                       \
    "Invalid or duplicate field name {field} specified for data file {file}")                      \
  X(InvalidFilterHandle, 10050, "Invalid filter handle specified for data file {file}")            \
  X(InvalidFilterExpression, 10051, "Invalid filter expression specified for data file {file}")    \
  X(PrimaryIndexRequired, 10055, "The primary index cannot be removed from data file {file}")      \
  X(TableLocked, 10241, "The data file {file} is already locked by another user")                  \
  X(UnlockFailed, 10242, "Cannot unlock data file or record in data file {file}")                  \
  X(LockFailure, 10249, "General lock failure with data file {file}")                              \
  X(ExclusiveRequired, 10253, "Data file {file} must be opened exclusively")                       \
  X(RecordInUse, 10258, "Record in data file {file} is in use by another user")                    \
  X(PasswordRequired, 10498, "Insufficient rights to data file {file}, a password is required")    \
  X(InvalidBlobField, 10753, "Invalid blob field {field} specified for data file {file}")          \
  X(NotInitialized, 10758, "ISAM engine not initialized")                                          \
  X(InvalidPath, 11010, "Invalid path or file name for data file {file}")                          \
  X(TooManyFiles, 11012, "Too many files open while attempting to open data file {file}")          \
  X(AccessDenied, 11013, "Access denied to data file {file}")                                      \
  X(InvalidHandle, 11014, "Invalid file handle for data file {file}")                              \
  X(OutOfMemory, 11016,                                                                            \
    "There is insufficient operating system memory available for the current operation")           \
  X(InvalidMemoryLength, 11017, "Invalid length for in-memory data file {file}")                   \
  X(InvalidDevice, 11023, "Access denied to logical operating system device for data file {file}") \
  X(FileMoved, 11025, "Data file {file} has been moved")                                           \
  X(UnknownOsError, 11047,                                                                         \
    "An unknown operating system error #{os} occurred with data file {file}")                      \
  X(Sql, 11949, "SQL - {extra}")                                                                   \
  X(WrongVersion, 12035, "Data file {file} is not the correct version")                            \
  X(InvalidIndexFieldType, 12292,                                                                  \
    "Invalid field type specified for index {index} in data file {file}")                          \
  X(LanguageDriver, 15878, "The language driver for data file {file} is not available or installed")

namespace ie {
#define KATALOG_ISAM_ERROR_CONSTANT(name, code, text) inline constexpr int k##name = code;
KATALOG_ISAM_ERRORS(KATALOG_ISAM_ERROR_CONSTANT)
#undef KATALOG_ISAM_ERROR_CONSTANT
}  // namespace ie

// One entry of an engine exception's error list.
struct TIsamError {
  int ErrorCode = 0;
  std::string Message;
};

// The engine's exception. Owns its list of errors; the first names the code it was raised for.
class EIsamEngineError : public EDatabaseError {
 public:
  // Builds the message for the code from the current error context.
  explicit EIsamEngineError(int code);

  int ErrorCode() const { return errors_.front().ErrorCode; }
  const std::vector<TIsamError>& Errors() const { return errors_; }

 private:
  std::vector<TIsamError> errors_;
};

// The longest message text, without the "ISAM Engine Error # <code> " prefix.
inline constexpr std::size_t kMaxErrorMessageLength = 127;

// Clears the error context, stores the code and the names (all empty for 10758, whose text names
// nothing) and raises EIsamEngineError. Without a current file session (the engine not started)
// it raises 10758 instead: the engine must not have run, and no context could name the file.
[[noreturn]] void RaiseIsamError(int code, std::string_view fileName = {},
                                 std::string_view fieldName = {}, std::string_view indexName = {},
                                 std::string_view extraText = {});
// Raises EIsamEngineError for a non-zero code collected from an operation, leaving the context
// as the operation left it; 10758 instead without a current file session.
void RaiseIfIsamError(int code);
// The message text for a code, built from the current error context.
std::string IsamErrorMessage(int code);
// The engine code for a Windows error number.
int EngineCodeForOsError(int osError);
// Stores a Windows error number in the error context (shown by 11047).
void StoreOsError(int osError);
// Stores the Windows error number in the error context and raises its engine code for the file.
[[noreturn]] void RaiseOsError(int osError, std::string_view fileName);

}  // namespace katalog
