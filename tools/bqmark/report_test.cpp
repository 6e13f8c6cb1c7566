// The reports' texts: the points in plain words, the two totals, and what
// CSV, JSON and the page carry of the task score.
#include "tools/bqmark/report.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/bqmark/jobs.h"
#include "tools/bqmark/marking.h"

namespace bq::mark {
namespace {

Result resultOf(const std::string& examinee, Kind kind, double taskScore, double score,
                const std::string& note = {}) {
  Result r;
  r.job.examinee = examinee;
  r.job.paper = "BQ1";
  r.job.kind = kind;
  r.job.question = {std::string(infoOf(kind).topicId), 1};
  r.job.file = "/up/" + std::string(infoOf(kind).prefix) + examinee + ".doc";
  r.mark.taskScore = taskScore;
  r.mark.score = score;
  r.mark.note = note;
  return r;
}

// The text between `from` and the next `to` after it, "" when absent.
std::string between(const std::string& s, const std::string& from, const std::string& to) {
  const size_t a = s.find(from);
  if (a == std::string::npos) return {};
  const size_t b = s.find(to, a + from.size());
  return s.substr(a + from.size(),
                  b == std::string::npos ? std::string::npos : b - a - from.size());
}

TEST(Report, PointsOfEachRoleInPlainWords) {
  struct Case {
    Kind kind;
    std::string point, what, removal, damage;
  } cases[] = {
      {Kind::kWordTest, "字体名称,宋体", "字体名称为“宋体”", "应去掉：字体名称为“宋体”",
       "原有内容被改动：字体名称为“宋体”"},
      {Kind::kPowerPoint, "切换方式:769,2", "切换方式为“769,2”", "应去掉：切换方式为“769,2”",
       "原有内容被改动：切换方式为“769,2”"},
      {Kind::kExcel, "插入图片,存在", "有插入图片", "应去掉：有插入图片",
       "原有内容被改动：有插入图片"},
      {Kind::kWordTable, "文本,", "文本为空", "应去掉：文本为空", "原有内容被改动：文本为空"},
      {Kind::kWordTest, "无标签", "“无标签”", "应去掉：“无标签”", "原有内容被改动：“无标签”"},
      {Kind::kOperation, "临时文件\\草稿.txt", "文件“临时文件\\草稿.txt”",
       "应删除文件“临时文件\\草稿.txt”", "原有文件“临时文件\\草稿.txt”被删除或移走"},
      {Kind::kOperation, "临时文件\\", "文件夹“临时文件\\”", "应删除文件夹“临时文件\\”",
       "原有文件夹“临时文件\\”被删除或移走"},
      {Kind::kEmail, "stu01", "“stu01”", "邮件中不应有“stu01”", "原有内容被改动：“stu01”"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(pointWords(c.kind, c.point), c.what) << c.point;
    EXPECT_EQ(removalWords(c.kind, c.point), c.removal) << c.point;
    EXPECT_EQ(damageWords(c.kind, c.point), c.damage) << c.point;
  }
}

TEST(Report, TotalsOfTheTaskScoresAndOfTheLibrarys) {
  const std::vector<ExamineeMarks> marks = groupByExaminee({
      resultOf("S1", Kind::kWordTest, 0.5, 0.8),
      resultOf("S2", Kind::kWordTest, -1, -1, std::string(kNoteNoPaper)),
      resultOf("S1", Kind::kExcel, 0, 0, std::string(kNoteNoFile)),  // counts 0 in both
      resultOf("S1", Kind::kPowerPoint, -1, 0.6),                    // no task to score
      resultOf("S3", Kind::kWordTest, 1, -1),                        // the library did not score
  });
  ASSERT_EQ(marks.size(), 3u);
  EXPECT_EQ(marks[0].examinee, "S1");
  EXPECT_EQ(marks[0].questions.size(), 3u);
  ASSERT_TRUE(marks[0].total && marks[0].libraryTotal);
  EXPECT_DOUBLE_EQ(*marks[0].total, 25.0);
  EXPECT_DOUBLE_EQ(*marks[0].libraryTotal, (80.0 + 0 + 60) / 3);
  EXPECT_FALSE(marks[1].total);
  EXPECT_FALSE(marks[1].libraryTotal);
  ASSERT_TRUE(marks[2].total);
  EXPECT_DOUBLE_EQ(*marks[2].total, 100.0);
  EXPECT_FALSE(marks[2].libraryTotal);

  // The histogram counts the task totals (25 and 100); S2 has none.
  const nlohmann::json j = reportJson(marks);
  EXPECT_EQ(j["histogram"], nlohmann::json({0, 0, 1, 0, 0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(j["examinees"][0]["total"], 25.0);
  EXPECT_DOUBLE_EQ(j["examinees"][0]["library_total"].get<double>(), *marks[0].libraryTotal);
  EXPECT_TRUE(j["examinees"][1]["total"].is_null());
  EXPECT_TRUE(j["examinees"][1]["library_total"].is_null());
}

TEST(Report, JsonAndCsvCarryTheTaskFields) {
  Result r = resultOf("S1", Kind::kWordTest, 0.25, 0.5);
  r.mark.matched = {"字体名称,宋体"};
  r.mark.missing = {"字体名称,黑体"};
  r.mark.tasksDone = {"字号,16"};
  r.mark.tasksMissing = {"字体名称,黑体", "=HYPERLINK(\"x\")"};
  r.mark.removed = {"文本,旧"};
  r.mark.notRemoved = {"字体名称,宋体"};
  r.mark.damaged = {"-段落,1"};
  r.mark.unstable = {"行距,12"};
  const std::vector<ExamineeMarks> marks = groupByExaminee({r});

  const nlohmann::json q = reportJson(marks)["examinees"][0]["questions"][0];
  EXPECT_EQ(q["task_score"], 0.25);
  EXPECT_EQ(q["not_removed"], nlohmann::json(r.mark.notRemoved));

  const std::string csv = reportCsv(marks);
  EXPECT_EQ(csv.substr(0, csv.find("\r\n")),
            "examinee,paper,topic_id,tpid,kind,file,task_score,task_percent,score,percent,"
            "matched_count,missing_count,matched,missing,tasks_done,tasks_missing,not_removed,"
            "damaged,unstable,note,total,library_total");
  EXPECT_EQ(csv.substr(csv.find("\r\n") + 2),
            "S1,BQ1,06,1,WORDTEST,wdS1.doc,0.25,25.0,0.5,50.0,1,1,\"字体名称,宋体\",\"字体名称,"
            "黑体\",\"字号,16\",\"字体名称,黑体\n'=HYPERLINK(\"\"x\"\")\",\"字体名称,宋体\",\"'-"
            "段落,1\",\"行距,12\",,25.0,50.0\r\n");

  // Not scored: the score stays -1 and its percentage is empty.
  const std::string unscored =
      reportCsv(groupByExaminee({resultOf("S2", Kind::kExcel, -1, -1, "未评分")}));
  EXPECT_NE(unscored.find(",EXCEL,exS2.doc,-1.0,,-1.0,,0,0,,,,,,,,未评分,,\r\n"), std::string::npos)
      << unscored;
}

TEST(Report, PageShowsTaskPercentsAndListsWhatIsLeftToDo) {
  Result word = resultOf("S<1>", Kind::kWordTest, 0.25, 0.8);
  word.mark.tasksDone = {"字号,16"};
  word.mark.tasksMissing = {"字体名称,黑体"};
  word.mark.removed = {"文本,旧"};
  word.mark.notRemoved = {"字体名称,宋体"};
  word.mark.damaged = {"文本,<b>"};
  word.mark.unstable = {"行距,12"};
  Result listing = resultOf("S<1>", Kind::kOperation, 0.5, 0.9);
  listing.mark.notRemoved = {"临时文件\\"};
  listing.mark.removed = {"临时文件\\草稿.txt"};
  const std::vector<ExamineeMarks> marks = groupByExaminee({word, listing});
  const std::string page = reportHtml(marks, "一班");

  // The class table: the task percents and total, the library's total last.
  const std::string table = between(page, "<table id=\"marks\">", "</table>");
  EXPECT_NE(table.find("<th>总分</th><th>知识点总分（库）</th></tr>"), std::string::npos) << table;
  EXPECT_NE(table.find(">25.0<"), std::string::npos);
  EXPECT_NE(table.find(">50.0<"), std::string::npos);
  EXPECT_NE(table.find(">37.5<"), std::string::npos);  // the task total
  EXPECT_NE(table.find(">85.0</td></tr>"), std::string::npos);
  EXPECT_EQ(table.find(">80.0<"), std::string::npos);  // no library percent per question

  // The examinee's page: both percents, the count done and the lists.
  const std::string section = between(page, "<section class=\"examinee\"", "</section>");
  const std::string wordRow = between(section, "<td>WORD编辑题", "</tr>");
  ASSERT_FALSE(wordRow.empty()) << section;
  EXPECT_NE(wordRow.find(">25.0</td><td class=\"num\">80.0</td><td class=\"num\">2 / 4</td>"),
            std::string::npos)
      << wordRow;
  const std::string todo = between(wordRow, "<ul>", "</ul>");
  EXPECT_EQ(
      todo,
      "<li>字体名称应为“黑体”</li><li>应去掉：字体名称为“宋体”</li><li>原有内容被改动：文本为“"
      "&lt;b&gt;”</li>");
  EXPECT_NE(wordRow.find("<p class=\"unstable\">未评分（LibreOffice 保存时会改变）：</p><ul "
                         "class=\"unstable\"><li>行距为“12”</li></ul>"),
            std::string::npos)
      << wordRow;
  EXPECT_NE(section.find("<li>应删除文件夹“临时文件\\”</li>"), std::string::npos);
  EXPECT_EQ(section.find("草稿"), std::string::npos);  // removed: nothing to say
  EXPECT_EQ(page.find("S<1>"), std::string::npos);
}

}  // namespace
}  // namespace bq::mark
