// bqmark: the names of uploaded files, the report texts, and whole runs of
// the program on a class made from the demo papers' model answers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "common/ansi.h"
#include "common/automation_error.h"
#include "dbmaint/exam_source.h"
#include "platform/office/legacy/legacy_conversion.h"
#include "tools/bqmark/answer_key.h"
#include "tools/bqmark/jobs.h"
#include "tools/bqmark/marking.h"
#include "tools/bqmark/report.h"
#include "tools/bqmark/worker_pool.h"

namespace bq::mark {
namespace {

namespace fs = std::filesystem;

const fs::path kModels = BQ_DEMO_MODELS;
const fs::path kQuestions = fs::path(BQ_DEMO_PAPERS_SRC) / "files";

struct Outcome {
  int status;
  std::string out;
};

Outcome run(const std::string& command) {
  FILE* p = ::popen((command + " 2>/dev/null").c_str(), "r");
  std::string out;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  const int status = ::pclose(p);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

std::string markCommand(const fs::path& folder, const std::string& extra = "") {
  return std::string(BQMARK_PATH) + " mark " + quoted(folder) + " --exam " +
         quoted(BQ_DEMO_DATABASE) + " -q -j 2 " + extra;
}

nlohmann::json readJson(const fs::path& p) {
  std::ifstream in(p);
  return nlohmann::json::parse(in);
}

void writeText(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

TEST(UploadNames, KindAndExamineeFromTheName) {
  struct Case {
    std::string name;
    std::optional<std::pair<Kind, std::string>> want;
  } cases[] = {
      {"wtBQ1.doc", std::make_pair(Kind::kWordTable, "BQ1")},
      {"WDs-01.DOC", std::make_pair(Kind::kWordTest, "s-01")},
      {"exbq2.Xls", std::make_pair(Kind::kExcel, "bq2")},
      {"pptBQ1.ppt", std::make_pair(Kind::kPowerPoint, "BQ1")},
      {"opBQ1.txt", std::make_pair(Kind::kOperation, "BQ1")},
      {"emlBQ1.eml", std::make_pair(Kind::kEmail, "BQ1")},
      {"wt.doc", std::nullopt},      // no ID
      {"wtBQ1.docx", std::nullopt},  // not the uploaded name
      {"exBQ1.doc", std::nullopt},   // a workbook is uploaded as .xls
      {"wtBQ1.tg", std::nullopt},    // question text
      {"report.html", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(parseUploadName(c.name), c.want) << c.name;
}

// Stamps stored by earlier runs must still match: the size, then the
// modification time in seconds and nanoseconds since 1970, as stat gives them.
TEST(FileStamp, SizeAndModificationTimeAsStoredBefore) {
  char folder[] = "/tmp/bqmark-stamp-XXXXXX";
  ASSERT_NE(::mkdtemp(folder), nullptr);
  const fs::path file = fs::path(folder) / "wtS1.doc";
  writeText(file, "twelve bytes");
  struct Case {
    time_t seconds;
    long nanoseconds;
    std::string want;
  } cases[] = {
      {1700000000, 123456789, "12:1700000000.123456789"},
      {1700000000, 0, "12:1700000000.0"},
      {86400, 5, "12:86400.5"},
  };
  for (const Case& c : cases) {
    const timespec times[2] = {{c.seconds, c.nanoseconds}, {c.seconds, c.nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    EXPECT_EQ(fileStamp(file), c.want);
  }
  EXPECT_EQ(fileStamp(fs::path(folder) / "missing.doc"), "");
  EXPECT_EQ(fileStamp(""), "");
  fs::remove_all(folder);
}

TEST(Report, PlainWords) {
  struct Case {
    Kind kind;
    std::string point, want;
  } cases[] = {
      {Kind::kWordTest, "字体名称,黑体", "字体名称应为“黑体”"},
      {Kind::kPowerPoint, "切换方式:769,2,-1,0,0", "切换方式应为“769,2,-1,0,0”"},
      {Kind::kWordTable, "文本,总分\r\a", "文本应为“总分↵¤”"},
      {Kind::kExcel, "插入图片,存在", "应有插入图片"},
      {Kind::kPowerPoint, "切换方式:", "切换方式应为空"},
      {Kind::kOperation, "学习资料\\英语\\", "应有文件夹“学习资料\\英语\\”"},
      {Kind::kOperation, "学习资料\\英语\\英文诗.txt", "应有文件“学习资料\\英语\\英文诗.txt”"},
      {Kind::kEmail, "teacher", "邮件中应有“teacher”"},
  };
  for (const Case& c : cases) EXPECT_EQ(plainWords(c.kind, c.point), c.want) << c.point;
}

TEST(Report, MailScoreTakesTheBestMessage) {
  const std::vector<std::string> expected = {"stu01", "teacher", "第三周作业"};
  Mark m = scoreMailFields(expected, {{"stu01", "other"}, {"stu01", "teacher", "作业"}});
  EXPECT_DOUBLE_EQ(m.score, 2.0 / 3);
  EXPECT_EQ(m.missing, std::vector<std::string>{"第三周作业"});
  EXPECT_EQ(scoreMailFields(expected, {}).note, kNoteNoPoints);
  EXPECT_EQ(scoreMailFields({}, {{"a"}}).score, -1);
}

TEST(Report, CsvQuotesFieldsAndKeepsFormulasText) {
  Result r;
  r.job.examinee = "S,1";
  r.job.paper = "BQ1";
  r.job.kind = Kind::kWordTest;
  r.job.question = {"06", 1};
  r.job.file = "/x/wdS,1.doc";
  r.mark.score = 0.5;
  r.mark.matched = {"文本,\"引号\""};
  r.mark.missing = {"文本,a\r", "=HYPERLINK(\"x\")"};
  r.mark.taskScore = 0.25;
  r.mark.tasksMissing = {"-1"};
  const std::string csv = reportCsv(groupByExaminee({r}));
  EXPECT_NE(csv.find("\"S,1\",BQ1,06,1,WORDTEST,\"wdS,1.doc\",0.25,25.0,0.5,50.0,1,2,"
                     "\"文本,\"\"引号\"\"\",\"文本,a\r\n'=HYPERLINK(\"\"x\"\")\",,'-1,"),
            std::string::npos)
      << csv;
}

// A class made of the demo papers' answers: S01 hands in the model answers of
// paper BQ1, S02 the unchanged question documents and damaged files, S03 only
// a listing, and bq9 has no paper (no --paper given for it: its ID is taken
// as a card number, and the run is given none).
class ClassRun : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::make_unique<office::TempFolder>("bqmark-test-", office::Failure{53, "test", "class"});
    cls_ = folder_->path() / "class";
    fs::create_directories(cls_);
    copy(kModels / "wordtable/scores.docx", "wtBQ1.doc");
    copy(kModels / "wordtest/festival.docx", "wdBQ1.doc");
    copy(kModels / "exceltest/sales_1.xlsx", "EXbq1.XLS");
    copy(kModels / "powerpoint/hometown.pptx", "pptBQ1.ppt");
    copy(kModels / "operation/1.txt", "opBQ1.txt");
    copy(kQuestions / "wordtable/scores.docx", "wtbq3x.doc");  // no paper bq3x
    // BQ5's paper: Word editing (tea), e-mail, PowerPoint, file operation 4.
    copy(kQuestions / "wordtest/tea.docx", "wdBQ5.doc");
    writeText(cls_ / "pptBQ5.ppt", "PK\x03\x04 not really a zip");  // damaged
    writeText(cls_ / "opBQ5.txt", "");                              // empty listing
    copy(kModels / "e_mail/1.eml", "emlBQ5.eml");                   // another question's message
    writeText(cls_ / "notes.txt", "not an answer");
  }
  void copy(const fs::path& from, const std::string& name) { fs::copy_file(from, cls_ / name); }

  std::unique_ptr<office::TempFolder> folder_;
  fs::path cls_;
};

TEST_F(ClassRun, MarksEveryAnswerAndWritesTheSameNumbersInEveryReport) {
  const Outcome first = run(markCommand(cls_));
  ASSERT_EQ(first.status, 0) << first.out;
  const nlohmann::json j = readJson(cls_ / "bqmark/marks.json");
  std::map<std::string, nlohmann::json> byId;
  for (const auto& e : j["examinees"]) byId[e["examinee"]] = e;
  ASSERT_EQ(byId.size(), 3u);

  // The examinee's ID as the first file in listing order spells it
  // (EXbq1.XLS). The model answers score 1 everywhere (the e-mail question of BQ1 is
  // marked too, since the folder has e-mail answers: nobody sent BQ1's).
  for (const auto& q : byId["bq1"]["questions"]) {
    if (q["kind"] == "EMAIL") {
      EXPECT_EQ(q["note"], std::string(kNoteNoFile));
      continue;
    }
    EXPECT_EQ(q["score"], 1.0) << q["kind"];
    EXPECT_EQ(q["task_score"], 1.0) << q["kind"];
    EXPECT_TRUE(q["missing"].empty());
  }
  // Five of six questions done; the e-mail question not handed in counts 0.
  EXPECT_NEAR(byId["bq1"]["total"].get<double>(), 500.0 / 6, 1e-9);
  // Damaged and empty files score 0 with a note; the run goes on.
  std::map<std::string, nlohmann::json> bq5;
  for (const auto& q : byId["BQ5"]["questions"]) bq5[q["kind"]] = q;
  EXPECT_EQ(bq5["POWERPOINT"]["score"], 0.0);
  EXPECT_EQ(bq5["POWERPOINT"]["note"], std::string(kNoteNoPoints));
  EXPECT_EQ(bq5["OPERATION"]["score"], 0.0);
  EXPECT_EQ(bq5["OPERATION"]["note"].get<std::string>().rfind(std::string(kNoteUnreadable), 0), 0u);
  EXPECT_GT(bq5["WORDTEST"]["score"].get<double>(), 0.0);
  EXPECT_LT(bq5["WORDTEST"]["score"].get<double>(), 1.0);
  // The untouched question document: the library finds much of the model
  // answer in it, but no task is done.
  EXPECT_EQ(bq5["WORDTEST"]["task_score"], 0.0);
  EXPECT_FALSE(bq5["WORDTEST"]["tasks_missing"].empty());
  EXPECT_EQ(bq5["OPERATION"]["task_score"], 0.0);
  // Question 2's message against question 1's fields: the subject differs.
  EXPECT_GT(bq5["EMAIL"]["score"].get<double>(), 0.0);
  EXPECT_LT(bq5["EMAIL"]["score"].get<double>(), 1.0);
  EXPECT_EQ(byId["bq3x"]["questions"][0]["note"], std::string(kNoteNoPaper));
  EXPECT_TRUE(byId["bq3x"]["total"].is_null());

  // CSV rows carry the same scores; the page shows every examinee's total.
  std::ifstream csv(cls_ / "bqmark/marks.csv");
  std::stringstream text;
  text << csv.rdbuf();
  for (const auto& q : byId["BQ5"]["questions"])
    EXPECT_NE(text.str().find("," + q["kind"].get<std::string>() + "," +
                              q["file"].get<std::string>() + "," + q["task_score"].dump() + ","),
              std::string::npos)
        << q["kind"];
  std::ifstream page(cls_ / "bqmark/report.html");
  std::stringstream html;
  html << page.rdbuf();
  char total[16];
  std::snprintf(total, sizeof total, "%.1f", byId["BQ5"]["total"].get<double>());
  EXPECT_NE(html.str().find(total), std::string::npos);
  EXPECT_NE(html.str().find("<svg"), std::string::npos);
  EXPECT_NE(html.str().find("文本应为“家乡美食”"), std::string::npos);  // BQ5's missing tasks

  // A rerun marks nothing again; a changed answer is marked again; --force all.
  EXPECT_NE(run(markCommand(cls_)).out.find(": 0 marked"), std::string::npos);
  copy(kQuestions / "wordtest/tea.docx", "wdBQ1.doc.new");
  fs::rename(cls_ / "wdBQ1.doc.new", cls_ / "wdBQ1.doc");
  EXPECT_NE(run(markCommand(cls_)).out.find(": 1 marked"), std::string::npos);
  EXPECT_NE(run(markCommand(cls_, "--force")).out.find(": 9 marked"), std::string::npos);
  EXPECT_LT(readJson(cls_ / "bqmark/marks.json")["examinees"][0]["total"].get<double>(), 100.0);
}

TEST(AnswerKey, RefusesModelAnswersThatAnswerNothing) {
  const ExamSource demo = readExamSource(BQ_DEMO_PAPERS_SRC);
  KeyBuildOptions noRoundTrips;
  noRoundTrips.stabilityCheck = false;
  const SourceTable key = answerKeyTable(demo, noRoundTrips);
  ASSERT_FALSE(key.rows.empty());
  EXPECT_EQ(key.rows.front()[0].value, Variant(int32_t{1}));

  struct Case {
    std::function<void(SourceTable&)> change;
    std::string message;
  } cases[] = {
      {[](SourceTable& t) { t.rows[0][0].value = std::string("04"); },
       "tables/model_answer.tsv:2: topic 04 is no operation question's topic"},
      {[](SourceTable& t) { t.rows[0][1].value = int32_t{99}; },
       "tables/model_answer.tsv:2: no question 99 of topic 05 to answer"},
      {[](SourceTable& t) {
         t.rows.push_back(t.rows[0]);
         t.rowLines.push_back(99);
       },
       "tables/model_answer.tsv:99: a second model answer of question 1 of topic 05"},
      {[](SourceTable& t) {
         t.rows[4][2].file = "tables/topics.tsv";  // WORDTEST 1: no Word document
       },
       "tables/model_answer.tsv:6: tables/topics.tsv: the WORDTEST extractor finds no knowledge "
       "point in it"},
  };
  for (const Case& c : cases) {
    ExamSource source = demo;
    for (SourceTable& t : source.tables)
      if (t.name == "model_answer") c.change(t);
    try {
      answerKeyTable(source, noRoundTrips);
      ADD_FAILURE() << "accepted: " << c.message;
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.description(), c.message);
    }
  }
}

TEST(Expect, PrintsTheExtractorsPointsOfAModelAnswer) {
  const Outcome o = run(std::string(BQMARK_PATH) + " expect " +
                        quoted(kModels / "operation/1.txt") + " --kind operation --model-only");
  ASSERT_EQ(o.status, 0);
  const auto points = nlohmann::json::parse(o.out);
  EXPECT_EQ(points.size(), 9u);
  EXPECT_NE(std::find(points.begin(), points.end(), "学习资料\\英语\\英文诗.txt"), points.end());
  // For the question's author: the three lists against the starting tree.
  const fs::path start = fs::path(::testing::TempDir()) / "bqmark-start-1.txt";
  writeText(start, toAnsi("学习资料\\,学习资料\\草稿.txt,临时文件\\") + "\r\n");
  const Outcome lists =
      run(std::string(BQMARK_PATH) + " expect " + quoted(kModels / "operation/1.txt") +
          " --kind operation --question " + quoted(start));
  ASSERT_EQ(lists.status, 0);
  const auto key = nlohmann::json::parse(lists.out);
  EXPECT_EQ(key["keep"], nlohmann::json({"临时文件\\", "学习资料\\"}));
  EXPECT_EQ(key["remove"], nlohmann::json({"学习资料\\草稿.txt"}));
  EXPECT_EQ(key["task"].size(), 7u);
  EXPECT_TRUE(key["unstable"].empty());
  EXPECT_EQ(run(std::string(BQMARK_PATH) + " expect " + quoted(kModels / "operation/1.txt") +
                " --kind wordart")
                .status,
            1);
}

}  // namespace
}  // namespace bq::mark
