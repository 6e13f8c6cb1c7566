// The reports of a marked class: marks.csv and marks.json (one record per
// examinee and question: the task score with the tasks done and missing, the
// points that should be gone and are not, the kept points damaged and the
// points not scored; the library's score with its matched and missing
// points; the note) and report.html, the page a teacher opens (the class
// table with a histogram of the totals, and one page per examinee with what
// is missing in plain words).
//
// An examinee's total is the mean of the task percentages of the paper's
// questions: one not handed in counts 0, one not scored (task score -1: its
// key has no stable task or remove point, or the examinee has no paper) takes
// no part; none when no question was scored. The library total is the mean
// of the library's percentages in the same way (score -1 takes no part).
//
// Thread safety: plain functions.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "tools/bqmark/jobs.h"

namespace bq::mark {

struct ExamineeMarks {
  std::string examinee;
  std::string paper;
  std::vector<Result> questions;       // in the paper's topic order
  std::optional<double> total;         // percent, of the task scores
  std::optional<double> libraryTotal;  // percent, of the library's scores
};

// The results grouped by examinee, in the order of their first result.
std::vector<ExamineeMarks> groupByExaminee(const std::vector<Result>& results);

// A knowledge point as a teacher reads it: "字体名称,黑体" is 字体名称应为“黑体”,
// "插入图片,存在" 应有插入图片, a listing's "a\b\" 应有文件夹“a\b\”.
std::string plainWords(Kind kind, const std::string& point);

// A knowledge point as a plain statement of what the document has:
// "字体名称,宋体" is 字体名称为“宋体”, "插入图片,存在" 有插入图片, a listing's
// "a\b\" 文件夹“a\b\”.
std::string pointWords(Kind kind, const std::string& point);

// A point the answer should no longer have: 应去掉：字体名称为“宋体”; for a
// listing 应删除文件“a\b.txt” or 应删除文件夹“a\b\”.
std::string removalWords(Kind kind, const std::string& point);

// A point of the question document the answer should have kept and lost:
// 原有内容被改动：字体名称为“宋体”; for a listing 原有文件“a\b.txt”被删除或移走.
std::string damageWords(Kind kind, const std::string& point);

nlohmann::json reportJson(const std::vector<ExamineeMarks>& marks);
std::string reportCsv(const std::vector<ExamineeMarks>& marks);
std::string reportHtml(const std::vector<ExamineeMarks>& marks, const std::string& title);

// Writes marks.csv, marks.json and report.html into `folder` (made when
// missing), each replaced whole. Throws AutomationError when one cannot be
// written.
void writeReports(const std::filesystem::path& folder, const std::vector<Result>& results,
                  const std::string& title);

}  // namespace bq::mark
