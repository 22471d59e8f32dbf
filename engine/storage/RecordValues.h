// TRecordValues: the record-level rules of one table applied to a record buffer: reading and
// writing a field by number, the blank record with the fields' defaults, and the validity checks
// (required, minimum, maximum) made before a record is inserted or changed.
//
// It owns only what it was given: the table locale (whose format settings read default and limit
// texts) and the file name its errors name, plus the optional computed-field evaluator. The
// descriptor list (physical or working) and the record buffer are the caller's and are passed to
// every call; descriptor i of a list is field number i + 1.
//
// Texts of defaults and limits are read with the table locale's format settings, passed to the
// conversions explicitly; the process-wide settings are never switched. The format-settings lock
// is still held while those texts are read, so that a conversion reaching process-wide state
// later stays serialised without changing any caller.
//
// A text that does not read as a value of the field's type raises EDatabaseError:
//   integer (codes 5, 6, 12)   "'<text>' is not a valid integer value"
//   float, BCD (codes 7, 8)    "'<text>' is not a valid floating point value"
//   date (code 2)              "'<text>' is not a valid date"
//   time (code 10)             "'<text>' is not a valid time"
//   date-time (code 11)        "'<text>' is not a valid date and time"
//   boolean (code 4)           "'<text>' is not a valid boolean value"
// A number that reads but does not fit the field (a smallint default of 40000) raises the same.
//
// Keywords, in any letter case, for defaults and for limits alike: a date field takes "DATE"
// (today); a time field "TIME" (the time of day now); a date-time field "NOW" (today and the time
// now), "DATE" (today at midnight) and "TIME" (the time now on the zero date 1899-12-30, as a
// time written alone reads). A limit keyword is evaluated when the check runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/storage/FieldDescriptor.h"
#include "engine/storage/RecordCodec.h"

namespace katalog {

using TFieldList = std::vector<TFieldDescriptor>;

// Computes the computed fields of a record from its stored fields, writing them with
// TRecordValues::WriteComputedField. Installed by the table once computed fields are supported;
// called after every write of a stored field.
using TComputedFieldEvaluator = std::function<void(const TFieldList& fields, std::uint8_t* record)>;

class TRecordValues {
 public:
  TRecordValues(std::uint32_t localeId, std::string fileName);

  std::uint32_t LocaleId() const { return localeId_; }
  const std::string& FileName() const { return fileName_; }
  void SetComputedFieldEvaluator(TComputedFieldEvaluator evaluator) {
    evaluator_ = std::move(evaluator);
  }

  // The field's value, monostate when null. An autoincrement field is never null: its value is
  // the record identifier. A computed field not yet placed in the record (offset 0, as in the
  // physical list) reads as null. kInvalidField for a field number outside 1..fields.size().
  TFieldValue ReadField(const TFieldList& fields, int fieldNumber,
                        const std::uint8_t* record) const;

  // Stores the value (monostate: null) and then lets the evaluator recompute the computed
  // fields. Returns false, leaving the record unchanged, when the value's kind does not suit the
  // field's type or does not fit its range; the caller, which knows the value's origin, reports
  // that. Writes to a computed field and to the autoincrement field (whose value is the record
  // identifier the engine assigns) are ignored and return true. kInvalidField as for ReadField.
  bool WriteField(const TFieldList& fields, int fieldNumber, const TFieldValue& value,
                  std::uint8_t* record) const;
  // The evaluator's own write of a computed field's value: stored, nothing re-evaluated.
  bool WriteComputedField(const TFieldList& fields, int fieldNumber, const TFieldValue& value,
                          std::uint8_t* record) const;

  // Zero-fills recordSize bytes and stores each non-empty default text of the list through
  // WriteField: code 1 the text, 2 a date, 4 a boolean, 5, 6, 12 an integer, 7 a float, 8 a
  // decimal read at PhysicalScale (rounded half away from zero once, never through the
  // four-decimal currency form, so that no digit the field holds is lost), 10 a time, 11 a
  // date-time; other types get no default.
  void BlankRecord(const TFieldList& fields, std::uint8_t* record, std::size_t recordSize) const;

  // For each stored field: required and null kValueRequired, below MinValue kBelowMinimum, above
  // MaxValue kAboveMaximum, each naming the field. Strings compare case-sensitively (the locale's
  // comparison, byte order without a locale), codes 5, 6, 12 as integers, 7 as floats, 8 as the
  // stored amount against the limit read at PhysicalScale as a default is, 2, 10, 11 as dates and
  // times; other types have no limits. A null field has no limits to break. Computed fields are not
  // checked: their values are not part of the stored record.
  void CheckValidity(const TFieldList& fields, const std::uint8_t* record) const;

 private:
  const TFieldDescriptor& FieldAt(const TFieldList& fields, int fieldNumber) const;

  std::uint32_t localeId_;
  std::string fileName_;
  TComputedFieldEvaluator evaluator_;
};

}  // namespace katalog
