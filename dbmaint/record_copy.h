// The record copy of backup and restore: one row of a source record set
// added to a destination record set, field by field.
//
// Fields are matched by position and copied only where both names are the
// same (exact comparison). Fixed binary fields (128) are never copied; a Null
// source leaves the destination's default. Long values (201, 203, 205) above
// kLongPieceSize bytes move in pieces of that size. A text source going into
// a 32-bit integer field gives its leading number. A text destination gets
// the source as text without surrounding spaces, cut to the field's byte
// budget in the ANSI code page (FitTextBytes).
//
// Thread safety: no shared state beyond the per-thread code page.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/automation_error.h"
#include "common/variant.h"
#include "platform/db/recordset.h"

namespace bq::dbmaint {

// Bytes per piece of a long value.
inline constexpr int64_t kLongPieceSize = 16384;

// The type groups of the copy: sized text (129, 130, 200, 202) and long
// (201, 203, 205).
bool IsTextType(int32_t type);
bool IsLongType(int32_t type);

// "" for Null (and Empty), otherwise the value as text without leading and
// trailing spaces.
std::string TrimNull(const Variant& value);

// The longest beginning of `text` whose width fits 2 x `half` bytes, where a
// character that the ANSI code page writes with two or more bytes counts 2
// and any other character 1 (a character outside the Basic Multilingual
// Plane counts at least 2, its UTF-16 length). A character pair is never cut.
std::string FitTextBytes(std::string_view text, double half);

// Adds the current record of `source` to `destination` (AddNew, the fields,
// Update). True when done or when the source has no current record; false
// after a failure, with the record left pending in `destination` and, when
// `failure` is given, the error there.
bool CopyRecord(db::Recordset& source, db::Recordset& destination,
                AutomationError* failure = nullptr);

// CopyRecord for record after record of the same two record sets: which
// fields are copied, and how, is worked out from their names, types and
// sizes at the first record and kept (they do not change while the record
// sets stay open).
// REQUIRES: both record sets outlive the copier and stay open.
class RecordCopier {
 public:
  RecordCopier(db::Recordset& source, db::Recordset& destination)
      : source_(source), destination_(destination) {}
  // CopyRecord(source, destination, failure) for the current source record.
  bool copy(AutomationError* failure = nullptr);

  // Reading and writing apart, so that the source can be read on another
  // thread while records are added here. sourceFields() gives the positions
  // of the source fields whose values copy() reads, in order; copyValues()
  // adds a record as copy() would from those values, read by the caller.
  // Long values are set whole (binary ones in pieces of kLongPieceSize when
  // longer), since they are in memory already. Call sourceFields() first, on
  // the thread that owns both record sets.
  std::vector<int32_t> sourceFields();
  bool copyValues(std::span<const Variant> values, AutomationError* failure = nullptr);

 private:
  enum class Way : uint8_t { kSkip, kLong, kLeadingNumber, kText, kValue };
  struct Step {
    db::Field* s;
    db::Field* d;
    Way way;
    double half;    // kText: half the destination's byte budget
    int32_t index;  // of the source field
  };
  // Sets the value `value` (not Null) of step `k` on the destination.
  static void setStep(const Step& k, const Variant& value);
  void plan();

  db::Recordset& source_;
  db::Recordset& destination_;
  std::vector<Step> steps_;
  bool planned_ = false;
};

}  // namespace bq::dbmaint
