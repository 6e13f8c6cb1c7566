// Conversions between the JSON form of bqcall's arguments and results and the
// libraries' typed values. A value of the wrong form throws UsageError naming
// the parameter.
#pragma once

#include <cstdint>
#include <string>

#include "common/dictionary.h"
#include "platform/db/connection.h"
#include "scoring/extractors/mail.h"
#include "tools/bqcall/binding.h"

namespace bqcall {

// The JSON value for command-line argument `text` of a parameter of `kind`:
// a text stays as it stands; every other kind is parsed as JSON.
json fromCommandLine(const std::string& text, const Param& param);

std::string toText(const Call& call, size_t i, const Param& param);
bool toBool(const Call& call, size_t i, const Param& param);
double toNumber(const Call& call, size_t i, const Param& param);

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
