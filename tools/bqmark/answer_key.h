// The answer key of an exam database: the knowledge points of each operation
// question with their roles (marking.h: task, remove, keep), computed when the
// database is built by running the scoring library's extractors on the
// question document and on the model answer, and on both again as
// LibreOffice saves them (stability.h) to find the points an examinee's
// editor changes by itself.
//
// The source names the model answers in its optional table model_answer
// (dbmaint/exam_source.h):
//
//   topic_id:Char(2)  tpid:Long  model:LongBinary  [sheet:VarChar(31)]
//   06                1          @models/wordtest/festival.docx
//
// and the build adds the table answer_key, one row per point:
//
//   id:Long  topic_id:Char(2)  tpid:Long  zsd:Memo  role:VarChar(6)  stable:Long
//
// The model answer's points come first, in the order the extractor found
// them (role task or keep), then the question document's points that the
// model answer lacks (role remove), in their order; `id` numbers the rows
// from 1, so that ORDER BY id gives each question's points in that order.
// `stable` is 1 for a point that LibreOffice's round trips leave as it is, 0
// for one they change. The question document is the `fj` file of the
// question's table (for a listing, the starting tree of the Operation table's
// `Question`; an e-mail question has none: all its points are tasks). The
// optional `sheet` names the worksheet an Excel question is about; it is
// passed to ReadExcel and GetExcelScore.
//
// Thread safety: no shared state; runs the library on the calling thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "dbmaint/exam_source.h"
#include "platform/db/connection.h"
#include "tools/bqmark/marking.h"

namespace bq::mark {

inline constexpr const char* kAnswerKeyTable = "answer_key";

struct KeyBuildOptions {
  // Open and save the documents with LibreOffice to find unstable points.
  bool stabilityCheck = true;
  // The folder of the round trips' cache ("" for stability.h's default).
  std::filesystem::path cacheFolder;
  // Where the build's report goes: one line per finding (LibreOffice missing,
  // a task point LibreOffice cannot keep in the model answer); nullptr for
  // none.
  std::function<void(const std::string&)> report;
};

// The answer_key table of `source` (empty rows when it has no model_answer
// table). Fails with AutomationError (source "ExamSource", the model_answer
// file and line first) for a row whose topic is no operation topic, whose
// question is not in its question table, that repeats a question, or whose
// model answer gives no knowledge point, and with the library's error when
// it cannot read a model answer.
SourceTable answerKeyTable(const ExamSource& source, const KeyBuildOptions& options = {});

// The points of a document as LibreOffice saved it in `format`.
struct SavedPoints {
  std::string format;  // "docx", "doc", ...
  std::vector<std::string> points;
};

// The answer key of one question: the points of the model answer `model` and
// of the question document `question` (empty when it has none) with their
// roles; the points of `modelRoundTrips` and `questionRoundTrips` (the same
// documents as LibreOffice saves them, one set per format) decide which are
// stable. `caseless` compares points without regard to case (listings).
// `why` (optional) receives, for each point of the key, why it is unstable
// ("" for a stable one).
std::vector<KeyPoint> keyOf(const std::vector<std::string>& model,
                            const std::vector<std::string>& question,
                            const std::vector<SavedPoints>& modelRoundTrips,
                            const std::vector<SavedPoints>& questionRoundTrips,
                            bool caseless = false, std::vector<std::string>* why = nullptr);

class RoundTrips;

// The answer key of one question of `kind` (the build's step for each model
// answer): `points` are the model answer `model`'s, `questionPoints` those of
// what the examinee starts from (`questionFile` the question document, empty
// when there is none to save, as for a listing or an e-mail question). With
// `roundTrips` (nullptr: none) both documents are saved by LibreOffice and
// read again to find the unstable points. `report` (may be empty) is told,
// one line each beginning with `name`, the points per role, every task point
// that is not scored and why, and a round trip that failed.
std::vector<KeyPoint> buildQuestionKey(Marker& marker, RoundTrips* roundTrips, Kind kind,
                                       const std::filesystem::path& model,
                                       const std::vector<std::string>& points,
                                       const std::filesystem::path& questionFile,
                                       const std::vector<std::string>& questionPoints,
                                       const std::string& sheet, const std::string& name,
                                       const std::function<void(const std::string&)>& report);

// A question of a paper: topic code and question id.
struct QuestionRef {
  std::string topicId;
  int32_t tpid = 0;
  friend auto operator<=>(const QuestionRef&, const QuestionRef&) = default;
};

struct ExpectedSet {
  std::vector<KeyPoint> points;
  std::string sheet;
};

struct Paper {
  std::string uid;                     // the card number as stored
  std::vector<QuestionRef> questions;  // its operation questions, in topic order
};

// What marking needs of an exam database: the operation questions of every
// paper and the expected set of every question that has one.
struct ExamKey {
  std::map<std::string, Paper> papers;  // by the card number upper-cased
  std::map<QuestionRef, ExpectedSet> expected;
  // The paper of card number `uid` (without regard to case), or nullptr.
  const Paper* paperOf(const std::string& uid) const;
};

// Reads the exam key from the open connection `c` (an exam database built
// with model answers). Fails with AutomationError when the database has no
// answer_key table (a database built without model answers).
ExamKey readExamKey(db::Connection& c);

}  // namespace bq::mark
