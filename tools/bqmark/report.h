// The reports of a marked class: marks.csv and marks.json (one record per
// examinee and question: score, matched and missing points, note) and
// report.html, the page a teacher opens (the class table with a histogram of
// the totals, and one page per examinee with the missing points in plain
// words).
//
// An examinee's total is the mean of the percentages of the questions that
// were scored (score -1 takes no part), or none when no question was.
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
  std::vector<Result> questions;  // in the paper's topic order
  std::optional<double> total;    // percent
};

// The results grouped by examinee, in the order of their first result.
std::vector<ExamineeMarks> groupByExaminee(const std::vector<Result>& results);

// A knowledge point as a teacher reads it: "字体名称,黑体" is 字体名称应为“黑体”,
// "插入图片,存在" 应有插入图片, a listing's "a\b\" 应有文件夹“a\b\”.
std::string plainWords(Kind kind, const std::string& point);

nlohmann::json reportJson(const std::vector<ExamineeMarks>& marks);
std::string reportCsv(const std::vector<ExamineeMarks>& marks);
std::string reportHtml(const std::vector<ExamineeMarks>& marks, const std::string& title);

// Writes marks.csv, marks.json and report.html into `folder` (made when
// missing), each replaced whole. Throws AutomationError when one cannot be
// written.
void writeReports(const std::filesystem::path& folder, const std::vector<Result>& results,
                  const std::string& title);

}  // namespace bq::mark
