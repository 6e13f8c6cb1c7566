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
// OOXML and legacy files by their bytes.
//
// Thread safety: a Marker belongs to one thread (it holds that thread's
// PowerPoint application while it lives).
#pragma once

#include <cstdint>
#include <filesystem>
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

// The outcome of marking one answer.
struct Mark {
  // The library's score: the share of expected points matched (0 to 1), or
  // -1 when the library does not score (no expected points).
  double score = 0;
  std::vector<std::string> matched;  // d1: expected points the answer has
  std::vector<std::string> missing;  // d2: expected points it lacks
  std::string note;                  // why the answer scored 0 or -1, if it did
};

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

  // Marks the answer `file` of `kind` against `expected` (in order). Never
  // throws for a bad answer: a file the library cannot read scores 0 with a
  // note (the library's own error text after kNoteUnreadable when it gave
  // one).
  Mark markAnswer(Kind kind, const std::filesystem::path& file,
                  const std::vector<std::string>& expected, const std::string& sheet = {});

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

// The e-mail question's score from the field lists of the examinee's
// messages: the share of expected fields found in the message that has most
// of them (fields compared exactly); -1 without expected fields.
Mark scoreMailFields(const std::vector<std::string>& expected,
                     const std::vector<std::vector<std::string>>& messages);

}  // namespace bq::mark
