// Marking one operation answer with the scoring library's own methods, and
// the expected knowledge points of a question made the same way from its
// model answer.
//
// The kinds of answer, as FileUpLoad names the uploaded files:
//
//   kind        topic  file             library calls
//   WORDTABLE   "07"   wt<ID>.doc       ReadWordTable / GetExcelScore "WORDTABLE"
//   WORDTEST    "06"   wd<ID>.doc       ReadWord / GetExcelScore "WORDTEST"
//   EXCEL       "08"   ex<ID>.xls       ReadExcel / GetExcelScore "EXCEL"
//   POWERPOINT  "11"   ppt<ID>.ppt      ReadPPT / GetExcelScore "POWERPOINT"
//   OPERATION   "05"   op<ID>.txt       GetOpZSDFromFile, SplitOpZSD / GetOpScore
//   EMAIL       "10"   eml<ID>.eml      GetMailZSDFromPath
//
// The extension says nothing about the content: the Office readers recognise
// OOXML and legacy files by their bytes. An Office answer is marked through
// GetExcelScore's two halves (scoring/excel_score.h), so that its one read
// gives both the score and every point the file holds (a legacy file is
// converted once).
//
// Thread safety: a Marker belongs to one thread (it holds that thread's
// PowerPoint application while it lives).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "BrightquillCom/brightquill_client.h"

namespace bq::mark {

enum class Kind { kWordTable, kWordTest, kExcel, kPowerPoint, kOperation, kEmail };

struct KindInfo {
  Kind kind;
  std::string_view name;     // "WORDTABLE" ...: GetExcelScore's kind, and bqmark's
  std::string_view topicId;  // the question's topic code
  std::string_view prefix;   // of the uploaded file name
  std::string_view title;    // the operation page's heading, for reports
};

// Every kind, in the order above.
const std::vector<KindInfo>& kinds();
const KindInfo& infoOf(Kind kind);
// By name (without regard to case) or topic code; nullopt for neither.
std::optional<Kind> kindNamed(std::string_view name);
std::optional<Kind> kindOfTopic(std::string_view topicId);

// What a point of the answer key asks of an answer:
//   task    in the model answer, not in the question document: what the
//           question asks to add or change; the answer should have it
//   remove  in the question document, not in the model answer: what the
//           question asks to change or delete; the answer should not have it
//   keep    in both: what the examinee should leave as it is
// A point that LibreOffice (the examinee's editor) changes when it opens and
// saves the question document or the model answer is unstable: it is neither
// scored nor penalised.
enum class Role { kTask, kRemove, kKeep };

// "task", "remove", "keep", as the answer key stores them.
std::string_view roleName(Role role);
std::optional<Role> roleNamed(std::string_view name);

struct KeyPoint {
  std::string point;
  Role role = Role::kTask;
  bool stable = true;
  friend bool operator==(const KeyPoint&, const KeyPoint&) = default;
};

// The points of the model answer (task and keep points, in key order): the
// set the library's own score is taken against.
std::vector<std::string> modelPoints(const std::vector<KeyPoint>& key);

// The outcome of marking one answer.
struct Mark {
  // The library's score: the share of the model answer's points matched (0 to
  // 1), or -1 when the library does not score (no expected points).
  double score = 0;
  std::vector<std::string> matched;  // d1: model answer's points the answer has
  std::vector<std::string> missing;  // d2: model answer's points it lacks
  std::string note;                  // why the answer scored 0 or -1, if it did

  // The task score (scoreTasks): 0 to 1, or -1 when the question has no stable
  // task or remove point (or the examinee no paper).
  double taskScore = 0;
  std::vector<std::string> tasksDone;     // stable task points the answer has
  std::vector<std::string> tasksMissing;  // stable task points it lacks
  std::vector<std::string> removed;       // stable remove points it no longer has
  std::vector<std::string> notRemoved;    // stable remove points it still has
  std::vector<std::string> damaged;       // stable keep points it lost
  std::vector<std::string> unstable;      // points of the key not scored
};

// The task score of an answer of whose points `has` tells which it holds:
//
//   (task points present + remove points absent - keep points lost x w)
//   / (task points + remove points)
//
// over the stable points only, cut to 0..1, where w = max(1, remove / keep)
// (so that an answer with everything deleted gains nothing from the removes
// however few points the question keeps). Fills the task fields of `mark`;
// taskScore -1 when the key has no stable task or remove point.
void scoreTasks(const std::vector<KeyPoint>& key,
                const std::function<bool(const std::string&)>& has, Mark& mark);

// Notes of the report (Chinese, as the teacher reads them).
inline constexpr std::string_view kNoteNoFile = "未交答卷";
inline constexpr std::string_view kNoteUnreadable = "答卷无法读取";
inline constexpr std::string_view kNoteNoPoints = "答卷中没有找到任何知识点";
inline constexpr std::string_view kNoteNotScored = "没有标准知识点，未评分";

// One marking process's access to the library: a BrightquillClient and the
// thread's PowerPoint application, opened on first use and closed with the
// Marker.
class Marker {
 public:
  Marker() = default;
  ~Marker();
  Marker(const Marker&) = delete;
  Marker& operator=(const Marker&) = delete;

  // Marks the answer `file` of `kind` against the answer key `key`: the
  // library's score against the model answer's points and the task score.
  // Never throws for a bad answer: a file the library cannot read scores 0
  // with a note (the library's own error text after kNoteUnreadable when it
  // gave one).
  Mark markAnswer(Kind kind, const std::filesystem::path& file, const std::vector<KeyPoint>& key,
                  const std::string& sheet = {});

  // The knowledge points that the library's extractor of `kind` finds in the
  // model answer `file`, in the order it adds them (for EXCEL of the sheet
  // `sheet` only, when not empty). Throws AutomationError when the library
  // fails on the file (a listing or e-mail file it cannot read).
  std::vector<std::string> expectedPoints(Kind kind, const std::filesystem::path& file,
                                          const std::string& sheet = {});

  BrightquillClient& client() { return client_; }

 private:
  void ensurePowerPoint();
  BrightquillClient client_;
  bool pptOpen_ = false;
};

// The mark of an answer that gives nothing to read (none handed in, a file
// not read, unreadable or empty): library score 0 with every model answer's
// point missing, task score 0 with no task done and nothing counted as removed
// (-1 when the key has nothing to score), and `note`.
Mark unreadAnswer(const std::vector<KeyPoint>& key, std::string_view note);

// The e-mail question's score from the field lists of the examinee's
// messages: the share of expected fields found in the message that has most
// of them (fields compared exactly); -1 without expected fields.
Mark scoreMailFields(const std::vector<std::string>& expected,
                     const std::vector<std::vector<std::string>>& messages);

}  // namespace bq::mark
