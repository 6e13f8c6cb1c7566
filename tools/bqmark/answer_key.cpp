#include "tools/bqmark/answer_key.h"

#include <set>

#include "common/automation_error.h"
#include "common/text.h"
#include "platform/db/value.h"

namespace bq::mark {
namespace {

constexpr const char* kSource = "ExamSource";

[[noreturn]] void failRow(const SourceTable& table, size_t row, const std::string& what,
                          int32_t number = kExamSourceError) {
  throw AutomationError(number, kSource,
                        table.file + ":" + std::to_string(table.rowLines[row]) + ": " + what);
}

std::string textOf(const SourceValue& v) {
  return v.value.isNull() ? std::string() : db::variantText(v.value);
}

// The ids of the questions in the question table of `kind`.
std::set<int32_t> questionIds(const ExamSource& source, Kind kind) {
  static const std::map<Kind, std::string_view> tables = {
      {Kind::kWordTable, "wordtable"}, {Kind::kWordTest, "wordtest"},
      {Kind::kExcel, "exceltest"},     {Kind::kPowerPoint, "powerpoint"},
      {Kind::kOperation, "Operation"}, {Kind::kEmail, "E_mail"}};
  std::set<int32_t> ids;
  const SourceTable* t = source.table(tables.at(kind));
  if (!t) return ids;
  const size_t id = *t->columnIndex("id");
  for (const auto& row : t->rows)
    if (row[id].value.is<int32_t>()) ids.insert(row[id].value.as<int32_t>());
  return ids;
}

SourceColumn column(std::string name, SourceType type, uint32_t size = 0) {
  SourceColumn c;
  c.name = std::move(name);
  c.type = type;
  c.size = size;
  return c;
}

SourceValue value(Variant v) {
  SourceValue s;
  s.value = std::move(v);
  return s;
}

std::string rowText(db::Recordset& rs, std::string_view name) {
  return db::variantText(rs.Fields()[name].Value());
}

}  // namespace

SourceTable answerKeyTable(const ExamSource& source) {
  SourceTable key;
  key.name = kAnswerKeyTable;
  key.file = std::string("tables/") + kAnswerKeyTable + ".tsv";
  key.columns = {column("id", SourceType::kLong), column("topic_id", SourceType::kChar, 2),
                 column("tpid", SourceType::kLong), column("zsd", SourceType::kMemo)};
  const SourceTable* models = source.table("model_answer");
  if (!models) return key;
  const size_t topicCol = *models->columnIndex("topic_id");
  const size_t tpidCol = *models->columnIndex("tpid");
  const size_t modelCol = *models->columnIndex("model");
  const std::optional<size_t> sheetCol = models->columnIndex("sheet");

  Marker marker;
  std::set<QuestionRef> seen;
  int32_t id = 0;
  for (size_t r = 0; r < models->rows.size(); ++r) {
    const auto& row = models->rows[r];
    const std::string topic = textOf(row[topicCol]);
    const std::optional<Kind> kind = kindOfTopic(topic);
    if (!kind) failRow(*models, r, "topic " + topic + " is no operation question's topic");
    if (!row[tpidCol].value.is<int32_t>()) failRow(*models, r, "tpid is empty");
    const int32_t tpid = row[tpidCol].value.as<int32_t>();
    if (!questionIds(source, *kind).count(tpid))
      failRow(*models, r,
              "no question " + std::to_string(tpid) + " of topic " + topic + " to answer");
    if (!seen.insert({topic, tpid}).second)
      failRow(*models, r,
              "a second model answer of question " + std::to_string(tpid) + " of topic " + topic);
    const std::string sheet = sheetCol ? textOf(row[*sheetCol]) : std::string();
    const std::filesystem::path file = source.folder / row[modelCol].file;
    std::vector<std::string> points;
    try {
      points = marker.expectedPoints(*kind, file, sheet);
    } catch (const AutomationError& e) {
      failRow(*models, r, row[modelCol].file + ": " + e.description(), e.number());
    }
    if (points.empty())
      failRow(*models, r,
              row[modelCol].file + ": the " + std::string(infoOf(*kind).name) +
                  " extractor finds no knowledge point in it");
    for (const std::string& p : points) {
      key.rows.push_back({value(++id), value(topic), value(tpid), value(p)});
      key.rowLines.push_back(models->rowLines[r]);
    }
  }
  return key;
}

const Paper* ExamKey::paperOf(const std::string& uid) const {
  auto it = papers.find(ucase(uid));
  return it == papers.end() ? nullptr : &it->second;
}

ExamKey readExamKey(db::Connection& c) {
  ExamKey key;
  {
    db::Recordset rs = c.Execute(
        "SELECT uid, topic_id, tpid FROM test_paper WHERE topic_id IN "
        "('05','06','07','08','10','11') ORDER BY uid, topic_id, tpid");
    for (; !rs.Eof(); rs.MoveNext()) {
      const std::string uid = rowText(rs, "uid");
      Paper& paper = key.papers[ucase(uid)];
      if (paper.uid.empty()) paper.uid = uid;
      const Variant tpid = rs.Fields()["tpid"].Value();
      paper.questions.push_back({rowText(rs, "topic_id"),
                                 tpid.is<int32_t>()
                                     ? tpid.as<int32_t>()
                                     : static_cast<int32_t>(leadingNumber(db::variantText(tpid)))});
    }
  }
  db::Recordset rs;
  try {
    rs = c.Execute("SELECT topic_id, tpid, zsd FROM answer_key ORDER BY id");
  } catch (const AutomationError& e) {
    throw AutomationError(
        e.number(), "bqmark",
        "the exam database has no answer key (build it with model answers): " + e.description());
  }
  for (; !rs.Eof(); rs.MoveNext()) {
    const QuestionRef q{rowText(rs, "topic_id"),
                        static_cast<int32_t>(leadingNumber(rowText(rs, "tpid")))};
    key.expected[q].points.push_back(rowText(rs, "zsd"));
  }
  // The sheet column is optional; a database without model answers has none.
  bool hasSheet = false;
  try {
    db::Recordset probe = c.Execute("SELECT * FROM model_answer WHERE 1 = 0");
    for (db::Field& f : probe.Fields()) hasSheet = hasSheet || ucase(f.Name()) == "SHEET";
  } catch (const AutomationError&) {
  }
  if (!hasSheet) return key;
  db::Recordset sheets = c.Execute("SELECT topic_id, tpid, sheet FROM model_answer");
  for (; !sheets.Eof(); sheets.MoveNext()) {
    const QuestionRef q{rowText(sheets, "topic_id"),
                        static_cast<int32_t>(leadingNumber(rowText(sheets, "tpid")))};
    if (auto it = key.expected.find(q); it != key.expected.end())
      it->second.sheet = rowText(sheets, "sheet");
  }
  return key;
}

}  // namespace bq::mark
