// The answer key of an exam database: the expected knowledge points of each
// operation question, computed when the database is built by running the
// scoring library's extractors on the question's model answer.
//
// The source names the model answers in its optional table model_answer
// (dbmaint/exam_source.h):
//
//   topic_id:Char(2)  tpid:Long  model:LongBinary  [sheet:VarChar(31)]
//   06                1          @models/wordtest/festival.docx
//
// and the build adds the table answer_key, one row per expected point, in the
// order the extractor found them:
//
//   id:Long  topic_id:Char(2)  tpid:Long  zsd:Memo
//
// (`id` numbers the rows from 1, so that ORDER BY id gives each question's
// points in their order). The optional `sheet` names the worksheet an Excel
// question is about; it is passed to ReadExcel and GetExcelScore.
//
// Thread safety: no shared state; runs the library on the calling thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "dbmaint/exam_source.h"
#include "platform/db/connection.h"
#include "tools/bqmark/marking.h"

namespace bq::mark {

inline constexpr const char* kAnswerKeyTable = "answer_key";

// The answer_key table of `source` (empty rows when it has no model_answer
// table). Fails with AutomationError (source "ExamSource", the model_answer
// file and line first) for a row whose topic is no operation topic, whose
// question is not in its question table, that repeats a question, or whose
// model answer gives no knowledge point, and with the library's error when
// it cannot read a model answer.
SourceTable answerKeyTable(const ExamSource& source);

// A question of a paper: topic code and question id.
struct QuestionRef {
  std::string topicId;
  int32_t tpid = 0;
  friend auto operator<=>(const QuestionRef&, const QuestionRef&) = default;
};

struct ExpectedSet {
  std::vector<std::string> points;
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
