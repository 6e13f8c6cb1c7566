// Conversions between the JSON form of bqcall's arguments and results and the
// libraries' typed values. A value of the wrong form throws UsageError naming
// the parameter.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/dictionary.h"
#include "platform/db/connection.h"
#include "platform/ui/progress_canvas.h"
#include "scoring/extractors/mail.h"
#include "tools/bqcall/binding.h"

namespace bqcall {

// The JSON value for command-line argument `text` of a parameter of `kind`:
// a text stays as it stands; every other kind is parsed as JSON.
json fromCommandLine(const std::string& text, const Param& param);

std::string toText(const Call& call, size_t i, const Param& param);
bool toBool(const Call& call, size_t i, const Param& param);
double toNumber(const Call& call, size_t i, const Param& param);

// An array of texts (a JSON array of strings); an empty one for null.
std::vector<std::string> toTextArray(const Call& call, size_t i, const Param& param);
// The same, or nothing when the argument is left out or null.
std::optional<std::vector<std::string>> toOptionalTextArray(const Call& call, size_t i,
                                                            const Param& param);
json toJson(const std::vector<std::string>& texts);

// A picture control argument: the text "record" gives a canvas that keeps
// what is drawn on it, "console" a progress bar on standard error labelled
// with the parameter's name; any other value is no picture control (the
// method fails where it first uses it, as with any object that is none).
struct PictureArgument {
  std::unique_ptr<bq::ui::ProgressCanvas> canvas;  // nullptr: no picture control
  bq::ui::RecordingProgressCanvas* recording = nullptr;
  json given;
  // The value for `args` after the call: for "record" the list of what was
  // shown, {"visible": B} for each change of visibility and
  // {"text": T, "bar": F} for each drawing (F the share shown done);
  // otherwise the argument as given.
  json after() const;
};
PictureArgument toPicture(const Call& call, size_t i, const Param& param);

// A knowledge-point set: a JSON object of 16-bit integer items, or an array of keys (item 1).
bq::KnowledgeSet toKnowledgeSet(const Call& call, size_t i, const Param& param);
json toJson(const bq::KnowledgeSet& d);

// A mail result dictionary: a JSON object of arrays of texts, or an array of keys.
bq::MailDictionary toMailDictionary(const Call& call, size_t i, const Param& param);
json toJson(const bq::MailDictionary& d);

// A record set argument: {"connection": CONNECTION-STRING, "source": SQL},
// opened forward-only and read-only on its first record. The connection
// closes when the value is dropped.
struct OpenRecordset {
  bq::db::Connection connection;
  bq::db::Recordset recordset;
};
OpenRecordset toRecordset(const Call& call, size_t i, const Param& param);

}  // namespace bqcall
