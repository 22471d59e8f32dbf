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

// The engine's error codes.
namespace ie {
inline constexpr int kBeginningOfFile = 8705;
inline constexpr int kEndOfFile = 8706;
inline constexpr int kKeyNotFound = 8708;
inline constexpr int kRecordNotFound = 8710;
inline constexpr int kEndOfBlob = 8711;
inline constexpr int kHeaderCorrupt = 8961;
inline constexpr int kRecordBuffersCorrupt = 8962;
inline constexpr int kBlobBuffersCorrupt = 8963;
inline constexpr int kIndexBuffersCorrupt = 8965;
inline constexpr int kReadError = 9217;
inline constexpr int kWriteError = 9218;
inline constexpr int kDeleteError = 9220;
inline constexpr int kHeaderAccess = 9221;
inline constexpr int kRecordTooLarge = 9477;
inline constexpr int kTableFull = 9479;
inline constexpr int kTooManyFilters = 9482;
inline constexpr int kIndexLimits = 9487;
inline constexpr int kFieldLimits = 9492;
inline constexpr int kTooManyBlobs = 9494;
inline constexpr int kBlobDefinition = 9498;
inline constexpr int kDuplicateKey = 9729;
inline constexpr int kBelowMinimum = 9730;
inline constexpr int kAboveMaximum = 9731;
inline constexpr int kValueRequired = 9732;
inline constexpr int kInvalidField = 9985;
inline constexpr int kPrimaryIndexExists = 9993;
inline constexpr int kInvalidBlobOffset = 9998;
inline constexpr int kInvalidFieldDefinition = 10000;
inline constexpr int kInvalidFieldCheck = 10006;
inline constexpr int kIndexNameMissing = 10010;
inline constexpr int kInvalidPassword = 10015;
inline constexpr int kInvalidIndexName = 10022;
inline constexpr int kInvalidIndexField = 10023;
inline constexpr int kInvalidKeySize = 10026;
inline constexpr int kIndexExists = 10027;
inline constexpr int kInvalidBlobLength = 10029;
inline constexpr int kInvalidBlobHandle = 10030;
inline constexpr int kFileInUse = 10031;
inline constexpr int kInvalidFieldName = 10038;
inline constexpr int kInvalidFilterHandle = 10050;
inline constexpr int kInvalidFilterExpression = 10051;
inline constexpr int kPrimaryIndexRequired = 10055;
inline constexpr int kTableLocked = 10241;
inline constexpr int kUnlockFailed = 10242;
inline constexpr int kLockFailure = 10249;
inline constexpr int kExclusiveRequired = 10253;
inline constexpr int kRecordInUse = 10258;
inline constexpr int kPasswordRequired = 10498;
inline constexpr int kInvalidBlobField = 10753;
inline constexpr int kNotInitialized = 10758;
inline constexpr int kInvalidPath = 11010;
inline constexpr int kTooManyFiles = 11012;
inline constexpr int kAccessDenied = 11013;
inline constexpr int kInvalidHandle = 11014;
inline constexpr int kOutOfMemory = 11016;
inline constexpr int kInvalidMemoryLength = 11017;
inline constexpr int kInvalidDevice = 11023;
inline constexpr int kFileMoved = 11025;
inline constexpr int kUnknownOsError = 11047;
inline constexpr int kSql = 11949;
inline constexpr int kWrongVersion = 12035;
inline constexpr int kInvalidIndexFieldType = 12292;
inline constexpr int kLanguageDriver = 15878;
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
