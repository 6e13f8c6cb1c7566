#include "tools/bqmark/answer_key.h"

#include <algorithm>
#include <optional>
#include <set>

#include "common/automation_error.h"
#include "common/text.h"
#include "platform/db/value.h"
#include "tools/bqmark/stability.h"

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

const SourceTable* questionTable(const ExamSource& source, Kind kind) {
  static const std::map<Kind, std::string_view> tables = {
      {Kind::kWordTable, "wordtable"}, {Kind::kWordTest, "wordtest"},
      {Kind::kExcel, "exceltest"},     {Kind::kPowerPoint, "powerpoint"},
      {Kind::kOperation, "Operation"}, {Kind::kEmail, "E_mail"}};
  return source.table(tables.at(kind));
}

// The row of question `tpid` in the question table of `kind`, or nullptr.
const std::vector<SourceValue>* questionRow(const ExamSource& source, Kind kind, int32_t tpid) {
  const SourceTable* t = questionTable(source, kind);
  if (!t) return nullptr;
  const size_t id = *t->columnIndex("id");
  for (const auto& row : t->rows)
    if (row[id].value.is<int32_t>() && row[id].value.as<int32_t>() == tpid) return &row;
  return nullptr;
}

// What the examinee starts from: the question document's file (Office
// kinds; empty for the others) and its points (a listing's starting tree; none
// for an e-mail question).
struct QuestionDocument {
  std::filesystem::path file;
  std::vector<std::string> points;
};

QuestionDocument questionDocument(Marker& marker, const ExamSource& source, Kind kind,
                                  const std::vector<SourceValue>& row, const std::string& sheet) {
  QuestionDocument doc;
  const SourceTable* t = questionTable(source, kind);
  if (kind == Kind::kOperation) {
    const std::optional<size_t> q = t->columnIndex("Question");
    if (!q || row[*q].value.isNull()) return doc;
    KnowledgeSet set;
    marker.client().SplitOpZSD(db::variantText(row[*q].value), set);
    doc.points = set.Keys();
    return doc;
  }
  const std::optional<size_t> fj = t->columnIndex("fj");
  if (!fj || row[*fj].file.empty()) return doc;
  doc.file = source.folder / row[*fj].file;
  doc.points = marker.expectedPoints(kind, doc.file, sheet);
  return doc;
}

std::string keyText(const std::string& point, bool caseless) {
  return caseless ? ucase(point) : point;
}

std::set<std::string> textsOf(const std::vector<std::string>& points, bool caseless) {
  std::set<std::string> out;
  for (const std::string& p : points) out.insert(keyText(p, caseless));
  return out;
}

// A round trip's points as a set of their texts.
struct SavedSet {
  std::string format;
  std::set<std::string> texts;
};

std::vector<SavedSet> setsOf(const std::vector<SavedPoints>& saved, bool caseless) {
  std::vector<SavedSet> out;
  for (const SavedPoints& s : saved) out.push_back({s.format, textsOf(s.points, caseless)});
  return out;
}

// Why the round trips make `k` unstable, or "" when they do not.
std::string whyUnstable(const KeyPoint& k, const std::vector<SavedSet>& model,
                        const std::vector<SavedSet>& question, bool caseless) {
  const std::string p = keyText(k.point, caseless);
  const bool wantInModel = k.role != Role::kRemove;
  const bool wantInQuestion = k.role != Role::kTask;
  for (const SavedSet& m : model)
    if (m.texts.count(p) != static_cast<size_t>(wantInModel))
      return "the model answer saved by LibreOffice as ." + m.format +
             (wantInModel ? " lacks it" : " has it");
  for (const SavedSet& q : question)
    if (q.texts.count(p) != static_cast<size_t>(wantInQuestion))
      return "the question document saved by LibreOffice as ." + q.format +
             (wantInQuestion ? " lacks it" : " has it");
  return {};
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

// The names of the columns of `table`, upper-cased; empty when it is missing.
std::set<std::string> columnsOf(db::Connection& c, const std::string& table) {
  std::set<std::string> names;
  try {
    db::Recordset probe = c.Execute("SELECT * FROM " + table + " WHERE 1 = 0");
    for (db::Field& f : probe.Fields()) names.insert(ucase(f.Name()));
  } catch (const AutomationError&) {
  }
  return names;
}

}  // namespace

std::vector<KeyPoint> keyOf(const std::vector<std::string>& model,
                            const std::vector<std::string>& question,
                            const std::vector<SavedPoints>& modelRoundTrips,
                            const std::vector<SavedPoints>& questionRoundTrips, bool caseless,
                            std::vector<std::string>* why) {
  const std::set<std::string> inModel = textsOf(model, caseless);
  const std::set<std::string> inQuestion = textsOf(question, caseless);
  const std::vector<SavedSet> modelRt = setsOf(modelRoundTrips, caseless);
  const std::vector<SavedSet> questionRt = setsOf(questionRoundTrips, caseless);
  std::vector<KeyPoint> key;
  std::set<std::string> seen;
  for (const std::string& p : model) {
    if (!seen.insert(keyText(p, caseless)).second) continue;
    key.push_back({p, inQuestion.count(keyText(p, caseless)) ? Role::kKeep : Role::kTask, true});
  }
  for (const std::string& p : question) {
    if (inModel.count(keyText(p, caseless)) || !seen.insert(keyText(p, caseless)).second) continue;
    key.push_back({p, Role::kRemove, true});
  }
  if (why) why->clear();
  for (KeyPoint& k : key) {
    std::string reason = whyUnstable(k, modelRt, questionRt, caseless);
    k.stable = reason.empty();
    if (why) why->push_back(std::move(reason));
  }
  return key;
}

std::vector<KeyPoint> buildQuestionKey(Marker& marker, RoundTrips* roundTrips, Kind kind,
                                       const std::filesystem::path& model,
                                       const std::vector<std::string>& points,
                                       const std::filesystem::path& questionFile,
                                       const std::vector<std::string>& questionPoints,
                                       const std::string& sheet, const std::string& name,
                                       const std::function<void(const std::string&)>& report) {
  auto say = [&](const std::string& line) {
    if (report) report(line);
  };
  // The round trips: both documents as LibreOffice saves them. A round trip
  // that fails is reported and left out.
  std::vector<SavedPoints> modelRt, questionRt;
  if (roundTrips && roundTrips->available()) {
    auto pointsOf = [&](const std::filesystem::path& doc, const char* what,
                        std::vector<SavedPoints>& sets) {
      for (const SavedCopy& copy : roundTrips->saved(kind, doc)) {
        if (copy.file.empty()) {
          say(name + ": LibreOffice cannot save the " + what + " as ." + copy.format + ": " +
              copy.failure);
          continue;
        }
        try {
          sets.push_back({copy.format, marker.expectedPoints(kind, copy.file, sheet)});
        } catch (const AutomationError& e) {
          say(name + ": the " + what + " saved by LibreOffice as ." + copy.format +
              " cannot be read: " + e.description());
        }
      }
    };
    pointsOf(model, "model answer", modelRt);
    if (!questionFile.empty()) pointsOf(questionFile, "question document", questionRt);
  }
  std::vector<std::string> why;
  std::vector<KeyPoint> key =
      keyOf(points, questionPoints, modelRt, questionRt, kind == Kind::kOperation, &why);

  // What the build tells the question's author.
  size_t tasks = 0, removes = 0, keeps = 0, unstable = 0;
  for (size_t i = 0; i < key.size(); ++i) {
    const KeyPoint& k = key[i];
    (k.role == Role::kTask ? tasks : k.role == Role::kRemove ? removes : keeps) += 1;
    if (k.stable) continue;
    ++unstable;
    if (k.role == Role::kTask)
      say(name + ": task point \"" + k.point + "\" is not scored: " + why[i]);
  }
  say(name + ": " + std::to_string(tasks) + " task, " + std::to_string(removes) + " remove, " +
      std::to_string(keeps) + " keep points; " + std::to_string(unstable) + " unstable");
  bool scored = false;
  for (const KeyPoint& k : key) scored = scored || (k.stable && k.role != Role::kKeep);
  if (!scored)
    say(name + ": no stable task or remove point: the question's answers are not scored");

  return key;
}

SourceTable answerKeyTable(const ExamSource& source, const KeyBuildOptions& options) {
  SourceTable key;
  key.name = kAnswerKeyTable;
  key.file = std::string("tables/") + kAnswerKeyTable + ".tsv";
  key.columns = {column("id", SourceType::kLong),         column("topic_id", SourceType::kChar, 2),
                 column("tpid", SourceType::kLong),       column("zsd", SourceType::kMemo),
                 column("role", SourceType::kVarChar, 6), column("stable", SourceType::kLong)};
  const SourceTable* models = source.table("model_answer");
  if (!models) return key;
  const size_t topicCol = *models->columnIndex("topic_id");
  const size_t tpidCol = *models->columnIndex("tpid");
  const size_t modelCol = *models->columnIndex("model");
  const std::optional<size_t> sheetCol = models->columnIndex("sheet");
  auto report = [&](const std::string& line) {
    if (options.report) options.report(line);
  };

  Marker marker;
  std::optional<RoundTrips> roundTrips;
  if (options.stabilityCheck) {
    roundTrips.emplace(options.cacheFolder);
    if (!roundTrips->available())
      report("LibreOffice is not installed: no point of the answer key is checked for stability");
  }
  std::set<QuestionRef> seen;
  int32_t id = 0;
  for (size_t r = 0; r < models->rows.size(); ++r) {
    const auto& row = models->rows[r];
    const std::string topic = textOf(row[topicCol]);
    const std::optional<Kind> kind = kindOfTopic(topic);
    if (!kind) failRow(*models, r, "topic " + topic + " is no operation question's topic");
    if (!row[tpidCol].value.is<int32_t>()) failRow(*models, r, "tpid is empty");
    const int32_t tpid = row[tpidCol].value.as<int32_t>();
    const std::vector<SourceValue>* question = questionRow(source, *kind, tpid);
    if (!question)
      failRow(*models, r,
              "no question " + std::to_string(tpid) + " of topic " + topic + " to answer");
    if (!seen.insert({topic, tpid}).second)
      failRow(*models, r,
              "a second model answer of question " + std::to_string(tpid) + " of topic " + topic);
    const std::string sheet = sheetCol ? textOf(row[*sheetCol]) : std::string();
    const std::filesystem::path file = source.folder / row[modelCol].file;
    const std::string name = std::string(infoOf(*kind).name) + " " + std::to_string(tpid) + " (" +
                             row[modelCol].file + ")";
    std::vector<std::string> points;
    QuestionDocument start;
    try {
      points = marker.expectedPoints(*kind, file, sheet);
    } catch (const AutomationError& e) {
      failRow(*models, r, row[modelCol].file + ": " + e.description(), e.number());
    }
    if (points.empty())
      failRow(*models, r,
              row[modelCol].file + ": the " + std::string(infoOf(*kind).name) +
                  " extractor finds no knowledge point in it");
    try {
      start = questionDocument(marker, source, *kind, *question, sheet);
    } catch (const AutomationError& e) {
      failRow(*models, r, "the question document: " + e.description(), e.number());
    }

    const std::vector<KeyPoint> points2 =
        buildQuestionKey(marker, roundTrips ? &*roundTrips : nullptr, *kind, file, points,
                         start.file, start.points, sheet, name, report);
    for (const KeyPoint& k : points2) {
      key.rows.push_back({value(++id), value(topic), value(tpid), value(k.point),
                          value(std::string(roleName(k.role))), value(int32_t{k.stable ? 1 : 0})});
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
  // A key built before points had roles holds the model answer's points
  // only: each counts as a task.
  const std::set<std::string> keyColumns = columnsOf(c, kAnswerKeyTable);
  const bool roles = keyColumns.count("ROLE") && keyColumns.count("STABLE");
  db::Recordset rs;
  try {
    rs = c.Execute(std::string("SELECT topic_id, tpid, zsd") + (roles ? ", role, stable" : "") +
                   " FROM answer_key ORDER BY id");
  } catch (const AutomationError& e) {
    throw AutomationError(
        e.number(), "bqmark",
        "the exam database has no answer key (build it with model answers): " + e.description());
  }
  for (; !rs.Eof(); rs.MoveNext()) {
    const QuestionRef q{rowText(rs, "topic_id"),
                        static_cast<int32_t>(leadingNumber(rowText(rs, "tpid")))};
    KeyPoint k{rowText(rs, "zsd"), Role::kTask, true};
    if (roles) {
      const std::optional<Role> role = roleNamed(rowText(rs, "role"));
      if (!role)
        throw AutomationError(
            err::kInvalidCall, "bqmark",
            "the answer key has a point of unknown role \"" + rowText(rs, "role") + "\"");
      k.role = *role;
      k.stable = leadingNumber(rowText(rs, "stable")) != 0;
    }
    key.expected[q].points.push_back(std::move(k));
  }
  // The sheet column is optional; a database without model answers has none.
  if (!columnsOf(c, "model_answer").count("SHEET")) return key;
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
