// The preparation of the operation files on the sealed demo database (and on
// a small fixture paper for damaged fields), in a private drives folder, with
// the message boxes recorded. Expected files come from the packed demo
// documents and from texts written out by hand from the demo source tables.
#include "client/core/preparation.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "client/core/app_values.h"
#include "client/core/test_drives.h"
#include "client/core/test_paper_fixture.h"
#include "common/ansi.h"
#include "common/automation_error.h"
#include "common/files.h"
#include "common/winpath.h"
#include "platform/db/testing/db_test_support.h"
#include "platform/ui/recorder.h"
#include "platform/ui/ui.h"

namespace bq::client {
namespace {

namespace fs = std::filesystem;

const fs::path kPapers = BQ_DEMO_PAPERS_SRC;

std::string fromHex(std::string_view hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return bytes;
}

// "提示：服务器名为：" in GBK, byte by byte.
const std::string kHintGbk = fromHex("cce1cabea3bab7fecef1c6f7c3fbceaaa3ba");
// The line every file of the starting tree holds: "岚屿克祝您好运！" CR LF in GBK.
const std::string kTreeFileGbk = fromHex("e1b0d3ecbfcbd7a3c4fabac3d4cba3a1") + "\r\n";

// The tg of E_mail 1, the e-mail question of bq1, in GBK.
const std::string kMailQuestionGbk = fromHex(
    "d3c3b5e7d7d3d3cabcfeb3ccd0f2b8f8c0cfcaa6b7a2cbcdd2bbb7e2d3cabcfea3ba0d0acad5bcfec8cba3ba7465"
    "61636865724062717363686f6f6c2e636e0d0ab3adcbcda3ba6d6f6e69746f724062717363686f6f6c2e636e0d"
    "0ad6f7cce2a3bab5dac8fdd6dcd7f7d2b50d0ad5fdcec4a3bacdf5c0cfcaa6c4fabac3a3a1ced2b5c4b5dac8fd"
    "d6dcd7f7d2b5d2d1beadcdeab3c9a3acc7ebc4fab2e9cad5a1a3");

// The tg texts of bq1's questions (id 1 of each table), as the source tables hold them.
const std::string kWordTableText =
    "打开考试文件夹中的Word文档，按下列要求完成操作后以原文件名保存：\r\n"
    "1．在表格最右边增加一列，列标题为“总分”，并计算每位学生的总分。\r\n"
    "2．在表格最下方增加一行，第一个单元格输入“平均分”，并计算各科的平均分。\r\n"
    "3．将表格的外边框设置为1.5磅的双线，内边框设置为0.5磅的单线。\r\n"
    "4．为表格第一行添加浅灰色底纹，文字水平居中。\r\n"
    "5．将整个表格在页面上居中。";
const std::string kWordTestText =
    "打开考试文件夹中的Word文档，按下列要求完成操作后以原文件名保存：\r\n"
    "1．将标题“中国传统节日——春节”设置为黑体、二号、加粗、居中。\r\n"
    "2．将正文各段设置为首行缩进2字符、1.5倍行距。\r\n"
    "3．将正文第一段的字体设置为楷体、小四号。\r\n"
    "4．将正文中所有的“春节”设置为红色。\r\n"
    "5．将页边距设置为上、下各2.5厘米，左、右各3厘米。";
const std::string kExcelText =
    "打开考试文件夹中的Excel工作簿，按下列要求完成操作后以原文件名保存：\r\n"
    "1．将A1:F1单元格合并后居中，标题文字设置为黑体、16磅。\r\n"
    "2．在F3:F7中用SUM函数计算每种产品的全年合计。\r\n"
    "3．在B8:F8中用AVERAGE函数计算各列的平均值，保留两位小数。\r\n"
    "4．为A2:F8区域添加所有框线。\r\n"
    "5．将工作表“销售表”改名为“年度销售”。";
const std::string kPowerPointText =
    "打开考试文件夹中的演示文稿，按下列要求完成操作后以原文件名保存：\r\n"
    "1．将第一张幻灯片的标题设置为黑体、54磅。\r\n"
    "2．为所有幻灯片设置“百叶窗”切换效果。\r\n"
    "3．在第二张幻灯片之后插入一张版式为“标题和内容”的新幻灯片，标题为“家乡美食”。\r\n"
    "4．为第二张幻灯片的正文设置“飞入”动画效果。";
const std::string kOperationText =
    "在C:\\BqOperation文件夹中完成以下操作：\r\n"
    "1．在“学习资料”文件夹中新建一个名为“英语”的文件夹。\r\n"
    "2．将“学习资料\\语文\\古诗.txt”复制到“学习资料\\英语”文件夹中，并改名为“英文诗.txt”。\r\n"
    "3．将“学习资料\\草稿.txt”移动到“临时文件”文件夹中。\r\n"
    "4．删除“临时文件\\旧通知.txt”。\r\n"
    "5．将“学习资料\\数学”文件夹改名为“数学资料”。";

std::string hostName() {
  std::string name = readWholeFile("/proc/sys/kernel/hostname");
  while (!name.empty() && name.back() == '\n') name.pop_back();
  return name;
}

void writeFile(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

// Every entry under `dir`, relative, "/" between names, folders with a trailing "/".
std::vector<std::string> tree(const fs::path& dir, const std::string& prefix = "") {
  std::vector<std::string> out;
  for (const winpath::DirEntry& e : winpath::listDirectory(dir)) {
    if (e.isDirectory) {
      out.push_back(prefix + e.name + "/");
      for (std::string& sub : tree(dir / e.name, prefix + e.name + "/")) out.push_back(sub);
    } else {
      out.push_back(prefix + e.name);
    }
  }
  return out;
}

class DemoPreparation : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path program = drives_.root() / "程序 folder";
    fs::create_directories(program);
    fs::copy_file(BQ_DEMO_DATABASE, program / "BqTest.MDB");
    writeFile(program / "questionpane.exe", kViewer);
    writeFile(program / "bq.avi", kVideo);
    app_.AppFolder = program.string();
    openExamConnection(app_);
    app_.CardNumber = "bq1";  // typed lower-case; the paper's rows say "BQ1"
  }

  fs::path work() const { return drives_.drive("c") / "BQTEST"; }
  fs::path opRoot() const { return drives_.drive("c") / "BqOperation"; }
  std::string workBytes(const std::string& name) const { return readWholeFile(work() / name); }
  std::string packed(const std::string& file) const {
    return readWholeFile(kPapers / "files" / file);
  }

  const std::string kViewer = std::string("MZ viewer\0\r\n", 12);
  const std::string kVideo = std::string("RIFF\0\0\0\0AVI video", 17);

  testsupport::PrivateDrives drives_;
  AppValues app_;
  std::shared_ptr<ui::Recorder> rec_ = std::make_shared<ui::Recorder>();
  ui::ScopedBackend scope_{rec_};
};

const std::vector<std::string> kBq1WorkFolder = {
    "bq.avi",    "emlbq1.Tg",        "exbq1.Tg",  "exbq1.xls", "opbq1.Tg",  "pptbq1.ppt",
    "pptbq1.Tg", "questionpane.exe", "wdbq1.doc", "wdbq1.Tg",  "wtbq1.doc", "wtbq1.Tg",
};

// In listing order: names by their upper-cased UTF-16 code units (数 U+6570
// before 草 U+8349 before 语 U+8BED), each folder followed by its content.
const std::vector<std::string> kBq1StartingTree = {
    "临时文件/",      "临时文件/旧通知.txt",    "学习资料/",
    "学习资料/数学/", "学习资料/数学/公式.txt", "学习资料/草稿.txt",
    "学习资料/语文/", "学习资料/语文/古诗.txt",
};

TEST_F(DemoPreparation, Bq1BuildsTheWorkFolderAndTheStartingTree) {
  ASSERT_EQ(prepareExam(app_), client::Preparation::kGoOn);
  EXPECT_TRUE(rec_->shown().empty()) << rec_->shown().at(0).prompt;

  EXPECT_EQ(tree(work()), kBq1WorkFolder);
  EXPECT_EQ(tree(opRoot()), kBq1StartingTree);
  for (const std::string& entry : kBq1StartingTree) {
    if (entry.back() == '/') continue;
    EXPECT_EQ(readWholeFile(opRoot() / entry), kTreeFileGbk) << entry;
  }
  EXPECT_EQ(workBytes("questionpane.exe"), kViewer);
  EXPECT_EQ(workBytes("bq.avi"), kVideo);
}

TEST_F(DemoPreparation, Bq1QuestionDocumentsAreThePackedDemoDocuments) {
  ASSERT_EQ(prepareExam(app_), client::Preparation::kGoOn);
  EXPECT_EQ(workBytes("wtbq1.doc"), packed("wordtable/scores.docx"));
  EXPECT_EQ(workBytes("wdbq1.doc"), packed("wordtest/festival.docx"));
  EXPECT_EQ(workBytes("exbq1.xls"), packed("exceltest/sales.xlsx"));
  EXPECT_EQ(workBytes("pptbq1.ppt"), packed("powerpoint/hometown.pptx"));
}

TEST_F(DemoPreparation, Bq1QuestionTextsAreGbkWithoutMarkOrFinalBreak) {
  ASSERT_EQ(prepareExam(app_), client::Preparation::kGoOn);
  EXPECT_EQ(workBytes("wtbq1.Tg"), toAnsi(kWordTableText));
  EXPECT_EQ(workBytes("wdbq1.Tg"), toAnsi(kWordTestText));
  EXPECT_EQ(workBytes("exbq1.Tg"), toAnsi(kExcelText));
  EXPECT_EQ(workBytes("pptbq1.Tg"), toAnsi(kPowerPointText));
  EXPECT_EQ(workBytes("opbq1.Tg"), toAnsi(kOperationText));
  // The e-mail text, two line breaks, the hint and this computer's name, and nothing after it.
  EXPECT_EQ(workBytes("emlbq1.Tg"), kMailQuestionGbk + "\r\n\r\n" + kHintGbk + hostName());
  // The GBK bytes of one text, checked without the converter under test.
  EXPECT_EQ(toAnsi(kWordTableText).substr(0, 4), fromHex("b4f2bfaa"));  // "打开"
}

TEST_F(DemoPreparation, ReachingTheInstructionsAgainReplacesTheExamineesWork) {
  ASSERT_EQ(prepareExam(app_), client::Preparation::kGoOn);
  writeFile(work() / "wdbq1.doc", "the examinee's edits");
  writeFile(work() / "答卷.txt", "left over");
  writeFile(opRoot() / "学习资料" / "英语" / "英文诗.txt", "moved");
  fs::remove_all(opRoot() / "临时文件");

  ASSERT_EQ(prepareExam(app_), client::Preparation::kGoOn);
  EXPECT_TRUE(rec_->shown().empty());
  EXPECT_EQ(tree(work()), kBq1WorkFolder);
  EXPECT_EQ(tree(opRoot()), kBq1StartingTree);
  EXPECT_EQ(workBytes("wdbq1.doc"), packed("wordtest/festival.docx"));
}

TEST_F(DemoPreparation, APaperWithoutSomeTopicsWritesOnlyItsOwnFiles) {
  app_.CardNumber = "bq2";  // word editing and Excel, no Word table, no PowerPoint
  ASSERT_EQ(prepareExam(app_), client::Preparation::kGoOn);
  EXPECT_TRUE(rec_->shown().empty());
  EXPECT_EQ(tree(work()),
            (std::vector<std::string>{"bq.avi", "emlbq2.Tg", "exbq2.Tg", "exbq2.xls", "opbq2.Tg",
                                      "questionpane.exe", "wdbq2.doc", "wdbq2.Tg"}));
  EXPECT_EQ(workBytes("wdbq2.doc"), packed("wordtest/tea.docx"));
  const std::vector<std::string> opTree = tree(opRoot());
  EXPECT_NE(std::find(opTree.begin(), opTree.end(), "公司文档/报表/二月.txt"), opTree.end());
  EXPECT_EQ(opTree.size(), 7u);
}

struct RefusedCard {
  const char* card;
  std::string_view message;
};

TEST_F(DemoPreparation, MissingOrUnknownCardEndsTheProgramAndChangesNothing) {
  const RefusedCard cases[] = {
      {"", kNoCardNumberMessage},
      {"bq9", kUnknownCardMessage},
      {"bq", kUnknownCardMessage},
      {"bq1' or '1'='1", kUnknownCardMessage},
  };
  writeFile(work() / "wdbq1.doc", "earlier exam");
  writeFile(opRoot() / "学习资料" / "earlier.txt", "earlier exam");
  for (const RefusedCard& c : cases) {
    SCOPED_TRACE(c.card);
    app_.CardNumber = c.card;
    const size_t before = rec_->shown().size();
    EXPECT_EQ(prepareExam(app_), client::Preparation::kEndProgram);
    ASSERT_EQ(rec_->shown().size(), before + 1);
    EXPECT_EQ(rec_->shown().back().prompt, c.message);
    EXPECT_EQ(rec_->shown().back().buttons, ui::vbInformation);
    EXPECT_EQ(tree(work()), std::vector<std::string>{"wdbq1.doc"});
    EXPECT_EQ(tree(opRoot()), (std::vector<std::string>{"学习资料/", "学习资料/earlier.txt"}));
  }
}

TEST_F(DemoPreparation, AFailedExportIsShownAndTheOthersAreWritten) {
  ASSERT_EQ(getTestFile(app_), client::Preparation::kGoOn);
  // Folders where a question document and a question text are to go.
  writeFile(work() / "wdbq1.doc" / "inside.txt", "x");
  writeFile(work() / "opbq1.Tg" / "inside.txt", "x");

  getData(app_);
  ASSERT_EQ(rec_->shown().size(), 2u);
  EXPECT_EQ(rec_->shown()[0].prompt.rfind("无法导出试题文件 C:\\BQTEST\\wdbq1.doc。\r\n", 0), 0u)
      << rec_->shown()[0].prompt;
  EXPECT_EQ(rec_->shown()[1].prompt.rfind("无法导出试题文件 C:\\BQTEST\\opbq1.Tg。\r\n", 0), 0u)
      << rec_->shown()[1].prompt;
  EXPECT_EQ(rec_->shown()[0].buttons, ui::vbExclamation);
  EXPECT_EQ(workBytes("wtbq1.doc"), packed("wordtable/scores.docx"));
  EXPECT_EQ(workBytes("pptbq1.ppt"), packed("powerpoint/hometown.pptx"));
  EXPECT_EQ(workBytes("wdbq1.Tg"), toAnsi(kWordTestText));
  EXPECT_EQ(workBytes("emlbq1.Tg"), kMailQuestionGbk + "\r\n\r\n" + kHintGbk + hostName());
  EXPECT_EQ(readWholeFile(work() / "wdbq1.doc" / "inside.txt"), "x");
}

TEST_F(DemoPreparation, AMissingVideoIsShownAndPreparationGoesOn) {
  fs::remove(fs::path(app_.AppFolder) / "bq.avi");
  ASSERT_EQ(prepareExam(app_), client::Preparation::kGoOn);
  ASSERT_EQ(rec_->shown().size(), 1u);
  const std::string& prompt = rec_->shown()[0].prompt;
  EXPECT_EQ(
      prompt.rfind("无法复制文件 " + app_.AppFolder + "\\bq.avi 到 c:\\bqtest\\bq.avi。\r\n", 0),
      0u)
      << prompt;
  EXPECT_NE(prompt.find("(53)"), std::string::npos) << prompt;
  EXPECT_EQ(workBytes("questionpane.exe"), kViewer);
  EXPECT_FALSE(fs::exists(work() / "bq.avi"));
  EXPECT_EQ(workBytes("opbq1.Tg"), toAnsi(kOperationText));
}

TEST_F(DemoPreparation, ExportsWithoutARowWriteNothingAndNameTheTextFile) {
  ASSERT_EQ(getTestFile(app_), client::Preparation::kGoOn);
  app_.CardNumber = "bq2";
  FileDownLoad(app_, "wordtable", "07", "wt", ".doc");
  std::string cFileName = "ppt";
  DownOpFiletg(app_, "powerpoint", "11", cFileName);
  EXPECT_EQ(cFileName, "C:\\BQTEST\\pptbq2.Tg");
  // A table that holds the question but under another topic code is no row either.
  FileDownLoad(app_, "wordtest", "07", "wd", ".doc");
  EXPECT_TRUE(tree(work()).empty());
}

TEST_F(DemoPreparation, ATableNameThatIsNotPlainIsRefused) {
  ASSERT_EQ(getTestFile(app_), client::Preparation::kGoOn);
  try {
    FileDownLoad(app_, "wordtest where 1=1 --", "06", "wd", ".doc");
    FAIL() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), err::kInvalidCall);
  }
  std::string cFileName = "wd";
  EXPECT_THROW(DownOpFiletg(app_, "wordtest;", "06", cFileName), AutomationError);
  EXPECT_TRUE(tree(work()).empty());
}

// The fixture paper: exceltest 41 of BQ1 with a Null document, text "表格".
class FixturePreparation : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(drives_.drive("c") / "BQTEST"); }
  fs::path work() const { return drives_.drive("c") / "BQTEST"; }

  testsupport::PrivateDrives drives_;
  testsupport::PaperFixture paper_;
  std::shared_ptr<ui::Recorder> rec_ = std::make_shared<ui::Recorder>();
  ui::ScopedBackend scope_{rec_};
};

TEST_F(FixturePreparation, ANullDocumentGivesAnEmptyFile) {
  FileDownLoad(paper_.app, "exceltest", "08", "ex", ".xls");
  EXPECT_EQ(readWholeFile(work() / "exbq1.xls"), "");
}

TEST_F(FixturePreparation, ADamagedDocumentFailsAndLeavesNoFile) {
  paper_.insert("UPDATE exceltest SET fj=? WHERE id=41",
                {ByteArray{'0', '0', '0', '0', '1', '2', 'x'}});
  try {
    FileDownLoad(paper_.app, "exceltest", "08", "ex", ".xls");
    FAIL() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), err::kInvalidCall) << e.description();
  }
  EXPECT_TRUE(tree(work()).empty());
}

TEST_F(FixturePreparation, ANullTextFailsAndLeavesNoFile) {
  paper_.insert("UPDATE exceltest SET tg=NULL WHERE id=41", {});
  std::string cFileName = "ex";
  try {
    DownOpFiletg(paper_.app, "exceltest", "08", cFileName);
    FAIL() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 94);
  }
  EXPECT_EQ(cFileName, "C:\\BQTEST\\exbq1.Tg");
  EXPECT_TRUE(tree(work()).empty());
}

// Every failing export is shown, in the order of the exports, and each of the
// others still runs: two question tables are missing from this paper's
// database and its Excel document is damaged.
TEST_F(FixturePreparation, EachFailedExportIsShownInTurn) {
  paper_.insert("UPDATE exceltest SET fj=? WHERE id=41",
                {ByteArray{'0', '0', '0', '0', '1', '2', 'x'}});
  paper_.insert("DROP TABLE wordtable", {});
  paper_.insert("DROP TABLE E_mail", {});
  getData(paper_.app);
  const std::vector<std::string> failed = {"wtbq1.doc", "exbq1.xls", "wtbq1.Tg", "emlbq1.Tg"};
  ASSERT_EQ(rec_->shown().size(), failed.size());
  for (size_t i = 0; i < failed.size(); ++i) {
    const std::string& prompt = rec_->shown()[i].prompt;
    EXPECT_EQ(prompt.rfind("无法导出试题文件 C:\\BQTEST\\" + failed[i] + "。\r\n", 0), 0u)
        << prompt;
    EXPECT_EQ(rec_->shown()[i].buttons, ui::vbExclamation);
  }
  EXPECT_EQ(tree(work()), std::vector<std::string>{"exbq1.Tg"});
  EXPECT_EQ(readWholeFile(work() / "exbq1.Tg"), toAnsi("表格"));
}

TEST(KillDir, DeletesTheNinePageFilesAndNothingElse) {
  testsupport::PrivateDrives drives;
  AppValues app;
  const fs::path program = drives.root() / "program";
  app.AppFolder = program.string();
  const std::vector<std::string> pages = {
      "selection.asp", "judgement.asp", "typewrite.asp", "operation.asp",  "wordtest.asp",
      "wordtable.asp", "excel.asp",     "e_mail.asp",    "powerpoint.asp",
  };
  for (const std::string& page : pages) writeFile(program / page, "<html>");
  // Names match without regard to case, as on the original's file system.
  fs::rename(program / "excel.asp", program / "Excel.ASP");
  writeFile(program / "BqLogin.asp", "sign-in");
  writeFile(program / "StdKnow.asp", "instructions");
  writeFile(drives.drive("c") / "BQTEST" / "wdbq1.doc", "doc");
  writeFile(drives.drive("c") / "BqOperation" / "a.txt", "a");

  KillDir(app);
  EXPECT_EQ(tree(program), (std::vector<std::string>{"BqLogin.asp", "StdKnow.asp"}));
  EXPECT_TRUE(fs::exists(drives.drive("c") / "BQTEST" / "wdbq1.doc"));
  EXPECT_TRUE(fs::exists(drives.drive("c") / "BqOperation" / "a.txt"));

  // Again, with none of them there, and with a folder carrying a page's name.
  writeFile(program / "selection.asp" / "keep.txt", "k");
  KillDir(app);
  EXPECT_EQ(tree(program), (std::vector<std::string>{"BqLogin.asp", "selection.asp/",
                                                     "selection.asp/keep.txt", "StdKnow.asp"}));
}

TEST(ComputerName, IsTheHostNameWithoutALineBreak) {
  const std::string name = ComputerNameText();
  EXPECT_EQ(name, hostName());
  EXPECT_FALSE(name.empty());
  EXPECT_EQ(name.find('\n'), std::string::npos);
}

TEST(ComputerName, ANameThatDoesNotFitLeavesTheBlankBuffer) {
  const std::string blanks(64, ' ');
  struct Case {
    std::optional<std::string> reported;
    std::string expected;
  };
  const Case cases[] = {
      {"EXAM-PC", "EXAM-PC"},
      {"", ""},
      {std::string(63, 'a'), std::string(63, 'a')},
      {std::string(64, 'a'), blanks},  // no room for the terminating null
      {std::string(21, 'a') + "考试机", std::string(21, 'a') + "考试机"},  // 24 code units
      {std::nullopt, blanks},
  };
  for (const Case& c : cases) EXPECT_EQ(computerNameText(c.reported), c.expected);
}

}  // namespace
}  // namespace bq::client
