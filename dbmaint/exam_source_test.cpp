#include "dbmaint/exam_source.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <random>
#include <string>

namespace bq {
namespace {

namespace fs = std::filesystem;

// A small source that is sound in every respect; each test damages one thing.
const std::map<std::string, std::string>& goodTables() {
  static const std::map<std::string, std::string> kTables = {
      {"topics.tsv",
       "topic_id:Char(2)\ttopic_name:VarChar(20)\ttopic_table:VarChar(20)\n"
       "01\t选择题\tselection\n"
       "06\tWORD编辑\twordtest\n"},
      {"test_paper.tsv",
       "uid:VarChar(10)\ttopic_id:Char(2)\ttpid:Long\tanswer:Memo\n"
       "BQ1\t01\t1\tac\n"
       "bq1\t06\t1\t\n"},
      {"selection.tsv",
       "id:Long\ttg:Memo\txzA:VarChar(255)\txzB:VarChar(255)\txzC:VarChar(255)\t"
       "xzD:VarChar(255)\txzE:VarChar(255)\txzF:VarChar(255)\tda:VarChar(6)\ttmlx:Char(1)\n"
       "1\t\"<b>\" & \"</b>\"\tA\tB\tC\tD\t\t\tAC\t2\n"},
      {"judgement.tsv", "id:Long\ttg:Memo\tda:Char(1)\n"},
      {"typewrite.tsv", "id:Long\ttg:Memo\n"},
      {"Operation.tsv", "id:Long\tQuestion:Memo\ttg:Memo\n1\ta\\\\,a\\\\b.txt\t操作\n"},
      {"wordtest.tsv", "id:Long\ttg:Memo\tfj:LongBinary\n1\t编辑\t@files/w/a.bin\n2\t空\t\\N\n"},
      {"wordtable.tsv", "id:Long\ttg:Memo\tfj:LongBinary\n"},
      {"exceltest.tsv", "id:Long\ttg:Memo\tfj:LongBinary\n"},
      {"powerpoint.tsv", "id:Long\ttg:Memo\tfj:LongBinary\n"},
      {"E_mail.tsv", "id:Long\ttg:Memo\n"},
  };
  return kTables;
}

const std::string kBinary("PK\x03\x04\x00\xff\x80 binary\r\n", 16);

struct Fault {
  int32_t number = 0;
  std::string description;
  friend bool operator==(const Fault&, const Fault&) = default;
};
std::ostream& operator<<(std::ostream& os, const Fault& f) {
  return os << f.number << " \"" << f.description << "\"";
}

class ExamSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq-examsrc-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    reset();
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Back to the sound source.
  void reset() {
    fs::remove_all(dir_ / "tables");
    fs::remove_all(dir_ / "files");
    for (const auto& [name, text] : goodTables()) write("tables/" + name, text);
    write("files/w/a.bin", kBinary);
  }

  void write(const std::string& rel, const std::string& bytes) {
    fs::create_directories((dir_ / rel).parent_path());
    std::ofstream(dir_ / rel, std::ios::binary | std::ios::trunc) << bytes;
  }

  Fault fault() {
    try {
      readExamSource(dir_);
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.source(), "ExamSource");
      return {e.number(), e.description()};
    }
    return {0, "no error"};
  }

  fs::path dir_;
};

const SourceTable& tableOf(const ExamSource& s, std::string_view name) {
  const SourceTable* t = s.table(name);
  if (t == nullptr) throw std::runtime_error("no table " + std::string(name));
  return *t;
}

// A table of a temporary source would dangle.
const SourceTable& tableOf(ExamSource&&, std::string_view) = delete;

const std::string& text(const SourceValue& v) { return v.value.as<std::string>(); }

TEST_F(ExamSourceTest, ReadsEveryTableInTheFixedOrder) {
  const ExamSource s = readExamSource(dir_);
  ASSERT_EQ(s.tables.size(), examTables().size());
  for (size_t i = 0; i < s.tables.size(); ++i) {
    EXPECT_EQ(s.tables[i].name, examTables()[i].name);
    EXPECT_EQ(s.tables[i].file, "tables/" + std::string(examTables()[i].name) + ".tsv");
  }
  const SourceTable& topics = tableOf(s, "TOPICS");
  ASSERT_EQ(topics.rows.size(), 2u);
  EXPECT_EQ(text(topics.rows[1][1]), "WORD编辑");
  EXPECT_EQ(topics.rowLines, (std::vector<size_t>{2, 3}));
  EXPECT_EQ(topics.columns[0].declaration(), "Char(2)");
  EXPECT_EQ(topics.columns[0].size, 2u);

  const SourceTable& paper = tableOf(s, "test_paper");
  EXPECT_EQ(paper.rows[0][2].value, Variant(int32_t{1}));
  EXPECT_EQ(text(paper.rows[1][3]), "");  // an empty field in a text column is the empty text

  const SourceTable& sel = tableOf(s, "selection");
  EXPECT_EQ(text(sel.rows[0][1]), "\"<b>\" & \"</b>\"");
  EXPECT_EQ(text(sel.rows[0][6]), "");

  EXPECT_EQ(text(tableOf(s, "operation").rows[0][1]), "a\\,a\\b.txt");
  EXPECT_EQ(tableOf(s, "e_mail").name, "E_mail");
  EXPECT_EQ(s.table("E_mails"), nullptr);
}

TEST_F(ExamSourceTest, LongBinaryFieldsCarryTheFileBytesForBlockStorage) {
  const ExamSource s = readExamSource(dir_);
  const SourceTable& t = tableOf(s, "wordtest");
  const SourceValue& v = t.rows[0][2];
  EXPECT_EQ(v.value, Variant(ByteArray(kBinary.begin(), kBinary.end())));
  EXPECT_EQ(v.file, "files/w/a.bin");
  EXPECT_TRUE(v.storeAsBlocks);
  const SourceValue& null = t.rows[1][2];
  EXPECT_TRUE(null.value.isNull());
  EXPECT_FALSE(null.storeAsBlocks);
  EXPECT_EQ(null.file, "");
}

TEST_F(ExamSourceTest, AnEmptyFileIsTheEmptyByteArray) {
  write("files/empty.bin", "");
  write("tables/exceltest.tsv", "id:Long\ttg:Memo\tfj:LongBinary\n1\tx\t@files/empty.bin\n");
  const ExamSource s = readExamSource(dir_);
  const SourceValue& v = tableOf(s, "exceltest").rows[0][2];
  EXPECT_EQ(v.value, Variant(ByteArray{}));
  EXPECT_TRUE(v.storeAsBlocks);
}

TEST_F(ExamSourceTest, TableFileNamesAreMatchedWithoutRegardToCase) {
  fs::rename(dir_ / "tables/Operation.tsv", dir_ / "tables/OPERATION.TSV");
  const ExamSource s = readExamSource(dir_);
  EXPECT_EQ(s.tables[5].name, "Operation");
  EXPECT_EQ(s.tables[5].file, "tables/OPERATION.TSV");
}

TEST_F(ExamSourceTest, HiddenFilesBesideTheTablesAreIgnored) {
  write("tables/.topics.tsv.swp", "editor state");
  EXPECT_EQ(fault(), (Fault{0, "no error"}));
}

// Field texts and what they read as, in a Memo column.
struct FieldCase {
  std::string field;
  std::string text;
};

TEST_F(ExamSourceTest, EscapesAndVerbatimText) {
  const std::vector<FieldCase> cases = {
      {"a\\tb", "a\tb"},
      {"第一行\\r\\n第二行", "第一行\r\n第二行"},
      {"\\n", "\n"},
      {"\\\\", "\\"},
      {"\\\\n", "\\n"},
      {"C:\\\\BqOperation\\\\", "C:\\BqOperation\\"},
      {"\\\\N", "\\N"},
      {"@files/w/a.bin", "@files/w/a.bin"},  // "@" means a file only in LongBinary columns
      {"\"引号\" <尖括号> & , ;", "\"引号\" <尖括号> & , ;"},
      {"  前后空格  ", "  前后空格  "},
      {"😀", "😀"},
  };
  std::string table = "id:Long\ttg:Memo\n";
  for (size_t i = 0; i < cases.size(); ++i) {
    table += std::to_string(i) + "\t" + cases[i].field + "\n";
  }
  write("tables/typewrite.tsv", table);
  const ExamSource s = readExamSource(dir_);
  const SourceTable& t = tableOf(s, "typewrite");
  ASSERT_EQ(t.rows.size(), cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(text(t.rows[i][1]), cases[i].text) << cases[i].field;
  }
}

TEST_F(ExamSourceTest, NullIsAWholeFieldInAnyColumn) {
  write("tables/judgement.tsv", "id:Long\ttg:Memo\tda:Char(1)\n\\N\t\\N\t\\N\n");
  const ExamSource s = readExamSource(dir_);
  const SourceTable& t = tableOf(s, "judgement");
  for (const SourceValue& v : t.rows[0]) EXPECT_TRUE(v.value.isNull());
}

TEST_F(ExamSourceTest, CrLfLinesAByteOrderMarkAndNoFinalLineBreakReadAlike) {
  const std::string lf = "id:Long\ttg:Memo\n1\t一\n2\t二\\r\\n";
  const std::vector<std::string> variants = {
      lf + "\n",
      "id:Long\ttg:Memo\r\n1\t一\r\n2\t二\\r\\n\r\n",
      "\xEF\xBB\xBF" + lf + "\n",
      lf,
  };
  for (const std::string& v : variants) {
    write("tables/E_mail.tsv", v);
    const ExamSource s = readExamSource(dir_);
    const SourceTable& t = tableOf(s, "E_mail");
    ASSERT_EQ(t.rows.size(), 2u);
    EXPECT_EQ(t.columns[0].name, "id");
    EXPECT_EQ(text(t.rows[1][1]), "二\r\n");
    EXPECT_EQ(t.rowLines[1], 3u);
  }
}

TEST_F(ExamSourceTest, NumbersAtTheirLimits) {
  write("tables/test_paper.tsv",
        "uid:VarChar(10)\ttopic_id:Char(2)\ttpid:Long\tanswer:Memo\tscore:Double\n"
        "bq1\t01\t2147483647\t\t2.5\n"
        "bq1\t01\t-2147483648\t\t-1e3\n"
        "bq1\t01\t007\t\t0\n");
  const ExamSource s = readExamSource(dir_);
  const SourceTable& t = tableOf(s, "test_paper");
  EXPECT_EQ(t.rows[0][2].value, Variant(int32_t{2147483647}));
  EXPECT_EQ(t.rows[1][2].value, Variant(int32_t{-2147483647 - 1}));
  EXPECT_EQ(t.rows[2][2].value, Variant(int32_t{7}));
  EXPECT_EQ(t.rows[0][4].value, Variant(2.5));
  EXPECT_EQ(t.rows[1][4].value, Variant(-1000.0));
  EXPECT_EQ(t.columns[4].declaration(), "Double");
}

TEST_F(ExamSourceTest, TypeNamesAreReadWithoutRegardToCaseAndWrittenCanonically) {
  write("tables/topics.tsv",
        "topic_id:CHAR(2)\ttopic_name:varchar(255)\ttopic_table:memo\tn:LONG\tb:longbinary\t"
        "d:double\n");
  const ExamSource s = readExamSource(dir_);
  const SourceTable& t = tableOf(s, "topics");
  std::vector<std::string> decl;
  for (const SourceColumn& c : t.columns) decl.push_back(c.declaration());
  EXPECT_EQ(decl, (std::vector<std::string>{"Char(2)", "VarChar(255)", "Memo", "Long", "LongBinary",
                                            "Double"}));
}

TEST_F(ExamSourceTest, CharSizesCountUtf16CodeUnits) {
  // Char(2) holds two Chinese characters, and one character outside the BMP.
  write("tables/topics.tsv",
        "topic_id:Char(2)\ttopic_name:VarChar(20)\ttopic_table:VarChar(20)\n"
        "单项\tx\ty\n"
        "😀\tx\ty\n");
  EXPECT_EQ(fault(), (Fault{0, "no error"}));
  write("tables/topics.tsv",
        "topic_id:Char(2)\ttopic_name:VarChar(20)\ttopic_table:VarChar(20)\n"
        "😀a\tx\ty\n");
  EXPECT_EQ(fault(), (Fault{5,
                            "tables/topics.tsv:2: field 1 (topic_id): 3 characters, Char(2) "
                            "holds 2"}));
}

TEST_F(ExamSourceTest, ExtraColumnsInAnyOrderAreKept) {
  write("tables/E_mail.tsv", "note:VarChar(20)\ttg:Memo\tID:Long\n备注\t正文\t9\n");
  const ExamSource s = readExamSource(dir_);
  const SourceTable& t = tableOf(s, "E_mail");
  EXPECT_EQ(t.columnIndex("id"), 2u);
  EXPECT_EQ(t.columnIndex("TG"), 1u);
  EXPECT_EQ(t.columnIndex("fj"), std::nullopt);
  EXPECT_EQ(t.rows[0][2].value, Variant(int32_t{9}));
}

// One damaged table file and the fault it must give.
struct DamageCase {
  const char* what;
  std::string file;  // under tables/
  std::string content;
  Fault expected;
};

const std::string kSelectionHeader =
    "id:Long\ttg:Memo\txzA:VarChar(255)\txzB:VarChar(255)\txzC:VarChar(255)\t"
    "xzD:VarChar(255)\txzE:VarChar(255)\txzF:VarChar(255)\tda:VarChar(6)\ttmlx:Char(1)\n";
const std::string kTopicsHeader =
    "topic_id:Char(2)\ttopic_name:VarChar(20)\ttopic_table:VarChar(20)\n";
const std::string kOfficeHeader = "id:Long\ttg:Memo\tfj:LongBinary\n";

TEST_F(ExamSourceTest, DamagedTablesNameTheFileAndLine) {
  const std::vector<DamageCase> cases = {
      {"too few fields",
       "selection.tsv",
       kSelectionHeader + "1\tq\tA\tB\tC\tD\t\t\tA\t1\n2\tq\tA\tB\tC\n",
       {5, "tables/selection.tsv:3: 5 fields, 10 expected"}},
      {"too many fields",
       "typewrite.tsv",
       "id:Long\ttg:Memo\n1\ta\tb\n",
       {5, "tables/typewrite.tsv:2: 3 fields, 2 expected"}},
      {"a single field",
       "typewrite.tsv",
       "id:Long\ttg:Memo\n1\n",
       {5, "tables/typewrite.tsv:2: 1 field, 2 expected"}},
      {"unknown type",
       "typewrite.tsv",
       "id:Integer\ttg:Memo\n",
       {5,
        "tables/typewrite.tsv:1: field 1 (id): unknown type \"Integer\"; Char(n), VarChar(n), "
        "Memo, Long, Double or LongBinary"}},
      {"empty type",
       "typewrite.tsv",
       "id:\ttg:Memo\n",
       {5,
        "tables/typewrite.tsv:1: field 1 (id): unknown type \"\"; Char(n), VarChar(n), Memo, "
        "Long, Double or LongBinary"}},
      {"Char without size",
       "topics.tsv",
       "topic_id:Char\ttopic_name:Memo\ttopic_table:Memo\n",
       {5,
        "tables/topics.tsv:1: field 1 (topic_id): unknown type \"Char\"; Char(n), "
        "VarChar(n), Memo, Long, Double or LongBinary"}},
      {"Char(0)",
       "topics.tsv",
       "topic_id:Char(0)\ttopic_name:Memo\ttopic_table:Memo\n",
       {5, "tables/topics.tsv:1: field 1 (topic_id): Char(0): the size must be 1 to 255"}},
      {"VarChar(256)",
       "topics.tsv",
       "topic_id:VarChar(256)\ttopic_name:Memo\ttopic_table:Memo\n",
       {5, "tables/topics.tsv:1: field 1 (topic_id): VarChar(256): the size must be 1 to 255"}},
      {"Char(-1)",
       "topics.tsv",
       "topic_id:Char(-1)\ttopic_name:Memo\ttopic_table:Memo\n",
       {5, "tables/topics.tsv:1: field 1 (topic_id): Char(-1): the size must be 1 to 255"}},
      {"Char()",
       "topics.tsv",
       "topic_id:Char()\ttopic_name:Memo\ttopic_table:Memo\n",
       {5, "tables/topics.tsv:1: field 1 (topic_id): Char(): the size must be 1 to 255"}},
      {"declaration without colon",
       "typewrite.tsv",
       "id:Long\ttg\n",
       {5, "tables/typewrite.tsv:1: field 2: \"tg\" is no column declaration name:Type"}},
      {"bad column name",
       "typewrite.tsv",
       "id:Long\ttg:Memo\t2x:Memo\n",
       {5,
        "tables/typewrite.tsv:1: field 3: \"2x\" is no column name (letters, digits and _, not "
        "starting with a digit)"}},
      {"empty column name",
       "typewrite.tsv",
       "id:Long\t:Memo\n",
       {5,
        "tables/typewrite.tsv:1: field 2: \"\" is no column name (letters, digits and _, not "
        "starting with a digit)"}},
      {"duplicate column",
       "judgement.tsv",
       "id:Long\ttg:Memo\tda:Char(1)\tID:Long\n",
       {5, "tables/judgement.tsv:1: field 4: column \"ID\" declared twice (field 1)"}},
      {"bad escape",
       "typewrite.tsv",
       "id:Long\ttg:Memo\n1\tok\n2\ta\\qb\n",
       {5,
        "tables/typewrite.tsv:3: field 2 (tg): bad escape \"\\q\"; the escapes are \\t \\n "
        "\\r \\\\ and \\N"}},
      {"bad escape of a Chinese character",
       "typewrite.tsv",
       "id:Long\ttg:Memo\n1\t\\中\n",
       {5,
        "tables/typewrite.tsv:2: field 2 (tg): bad escape \"\\中\"; the escapes are \\t \\n "
        "\\r \\\\ and \\N"}},
      {"backslash at the end of a field",
       "typewrite.tsv",
       "id:Long\ttg:Memo\n1\tC:\\\n",
       {5,
        "tables/typewrite.tsv:2: field 2 (tg): a backslash ends the field; write a backslash "
        "as \\\\"}},
      {"null inside a text",
       "typewrite.tsv",
       "id:Long\ttg:Memo\n1\tx\\N\n",
       {5, "tables/typewrite.tsv:2: field 2 (tg): \\N stands for Null only as a whole field"}},
      {"missing referenced file",
       "wordtest.tsv",
       kOfficeHeader + "1\tq\t@files/w/b.docx\n",
       {53,
        "tables/wordtest.tsv:2: field 3 (fj): cannot read \"files/w/b.docx\": File not "
        "found"}},
      {"referenced file in a missing folder",
       "wordtest.tsv",
       kOfficeHeader + "1\tq\t@no/b.docx\n",
       {76, "tables/wordtest.tsv:2: field 3 (fj): cannot read \"no/b.docx\": Path not found"}},
      {"referenced folder",
       "wordtest.tsv",
       kOfficeHeader + "1\tq\t@files/w\n",
       {75,
        "tables/wordtest.tsv:2: field 3 (fj): cannot read \"files/w\": Path/File access "
        "error"}},
      {"LongBinary without @",
       "wordtable.tsv",
       kOfficeHeader + "1\tq\tfiles/w/a.bin\n",
       {5,
        "tables/wordtable.tsv:2: field 3 (fj): a LongBinary field is @ and a file's path, or "
        "\\N"}},
      {"empty LongBinary",
       "wordtable.tsv",
       kOfficeHeader + "1\tq\t\n",
       {5,
        "tables/wordtable.tsv:2: field 3 (fj): a LongBinary field is @ and a file's path, or "
        "\\N"}},
      {"@ alone",
       "wordtable.tsv",
       kOfficeHeader + "1\tq\t@\n",
       {5, "tables/wordtable.tsv:2: field 3 (fj): \"@\" names no file"}},
      {"path leaving the folder",
       "exceltest.tsv",
       kOfficeHeader + "1\tq\t@files/../../etc/passwd\n",
       {5,
        "tables/exceltest.tsv:2: field 3 (fj): \"files/../../etc/passwd\" has an empty, \".\" "
        "or \"..\" part"}},
      {"absolute path",
       "exceltest.tsv",
       kOfficeHeader + "1\tq\t@/etc/passwd\n",
       {5,
        "tables/exceltest.tsv:2: field 3 (fj): \"/etc/passwd\" is absolute; name the file "
        "relative to the source folder"}},
      {"Windows separators",
       "exceltest.tsv",
       kOfficeHeader + "1\tq\t@files\\\\w\\\\a.bin\n",
       {5,
        "tables/exceltest.tsv:2: field 3 (fj): \"files\\\\w\\\\a.bin\": write / between "
        "folders, not \\"}},
      {"doubled slash",
       "exceltest.tsv",
       kOfficeHeader + "1\tq\t@files//w/a.bin\n",
       {5,
        "tables/exceltest.tsv:2: field 3 (fj): \"files//w/a.bin\" has an empty, \".\" or "
        "\"..\" part"}},
      {"truncated UTF-8",
       "E_mail.tsv",
       "id:Long\ttg:Memo\n1\tab\xE4\xB8\n",
       {5, "tables/E_mail.tsv:2: invalid UTF-8 at byte 5"}},
      {"stray continuation byte",
       "E_mail.tsv",
       "id:Long\ttg:Memo\n1\t\x80\n",
       {5, "tables/E_mail.tsv:2: invalid UTF-8 at byte 3"}},
      {"overlong slash",
       "E_mail.tsv",
       "id:Long\ttg:Memo\n1\t\xC0\xAF\n",
       {5, "tables/E_mail.tsv:2: invalid UTF-8 at byte 3"}},
      {"encoded surrogate",
       "E_mail.tsv",
       "id:Long\ttg:Memo\n1\t\xED\xA0\x80\n",
       {5, "tables/E_mail.tsv:2: invalid UTF-8 at byte 3"}},
      {"above U+10FFFF",
       "E_mail.tsv",
       "id:Long\ttg:Memo\n1\t\xF4\x90\x80\x80\n",
       {5, "tables/E_mail.tsv:2: invalid UTF-8 at byte 3"}},
      {"GBK instead of UTF-8",
       "E_mail.tsv",
       "id:Long\ttg:Memo\n1\t\xD6\xD0\xCE\xC4\n",
       {5, "tables/E_mail.tsv:2: invalid UTF-8 at byte 3"}},
      {"invalid UTF-8 in the header",
       "E_mail.tsv",
       "id:Long\ttg\xFF:Memo\n",
       {5, "tables/E_mail.tsv:1: invalid UTF-8 at byte 11"}},
      {"raw carriage return",
       "E_mail.tsv",
       "id:Long\ttg:Memo\n1\ta\rb\n",
       {5,
        "tables/E_mail.tsv:2: control character U+000D at byte 4; write a line break as "
        "\\r\\n, a TAB inside a field as \\t"}},
      {"NUL byte",
       "E_mail.tsv",
       std::string("id:Long\ttg:Memo\n1\ta\0b\n", 22),
       {5,
        "tables/E_mail.tsv:2: control character U+0000 at byte 4; write a line break as "
        "\\r\\n, a TAB inside a field as \\t"}},
      {"empty line between rows",
       "E_mail.tsv",
       "id:Long\ttg:Memo\n1\ta\n\n2\tb\n",
       {5, "tables/E_mail.tsv:3: empty line"}},
      {"two line breaks at the end",
       "E_mail.tsv",
       "id:Long\ttg:Memo\n1\ta\n\n",
       {5, "tables/E_mail.tsv:3: empty line"}},
      {"CR LF empty line",
       "E_mail.tsv",
       "id:Long\ttg:Memo\r\n\r\n",
       {5, "tables/E_mail.tsv:2: empty line"}},
      {"empty file",
       "E_mail.tsv",
       "",
       {5, "tables/E_mail.tsv:1: no column declarations; the first line declares the columns"}},
      {"byte-order mark only",
       "E_mail.tsv",
       "\xEF\xBB\xBF",
       {5, "tables/E_mail.tsv:1: no column declarations; the first line declares the columns"}},
      {"empty first line",
       "E_mail.tsv",
       "\nid:Long\ttg:Memo\n",
       {5, "tables/E_mail.tsv:1: empty line; the first line declares the columns"}},
      {"Long not a number",
       "E_mail.tsv",
       "id:Long\ttg:Memo\n1a\tx\n",
       {5, "tables/E_mail.tsv:2: field 1 (id): \"1a\" is no whole number"}},
      {"Long with a plus sign",
       "E_mail.tsv",
       "id:Long\ttg:Memo\n+1\tx\n",
       {5, "tables/E_mail.tsv:2: field 1 (id): \"+1\" is no whole number"}},
      {"Long with a blank",
       "E_mail.tsv",
       "id:Long\ttg:Memo\n 1\tx\n",
       {5, "tables/E_mail.tsv:2: field 1 (id): \" 1\" is no whole number"}},
      {"Long overflow",
       "E_mail.tsv",
       "id:Long\ttg:Memo\n2147483648\tx\n",
       {5, "tables/E_mail.tsv:2: field 1 (id): \"2147483648\" lies outside the range of Long"}},
      {"Long underflow",
       "E_mail.tsv",
       "id:Long\ttg:Memo\n-2147483649\tx\n",
       {5, "tables/E_mail.tsv:2: field 1 (id): \"-2147483649\" lies outside the range of Long"}},
      {"empty Long",
       "E_mail.tsv",
       "id:Long\ttg:Memo\n\tx\n",
       {5, "tables/E_mail.tsv:2: field 1 (id): empty; a Long column needs a number or \\N"}},
      {"Double not a number",
       "E_mail.tsv",
       "id:Long\ttg:Memo\tv:Double\n1\tx\tnan\n",
       {5, "tables/E_mail.tsv:2: field 3 (v): \"nan\" is no number"}},
      {"Double infinite",
       "E_mail.tsv",
       "id:Long\ttg:Memo\tv:Double\n1\tx\tinf\n",
       {5, "tables/E_mail.tsv:2: field 3 (v): \"inf\" is no number"}},
      {"Double overflow",
       "E_mail.tsv",
       "id:Long\ttg:Memo\tv:Double\n1\tx\t1e999\n",
       {5, "tables/E_mail.tsv:2: field 3 (v): \"1e999\" lies outside the range of Double"}},
      {"Double with a comma",
       "E_mail.tsv",
       "id:Long\ttg:Memo\tv:Double\n1\tx\t2,5\n",
       {5, "tables/E_mail.tsv:2: field 3 (v): \"2,5\" is no number"}},
      {"empty Double",
       "E_mail.tsv",
       "id:Long\ttg:Memo\tv:Double\n1\tx\t\n",
       {5, "tables/E_mail.tsv:2: field 3 (v): empty; a Double column needs a number or \\N"}},
      {"VarChar overflow",
       "topics.tsv",
       kTopicsHeader + "01\t一二三四五六七八九十一二三四五六七八九十一\tx\n",
       {5, "tables/topics.tsv:2: field 2 (topic_name): 21 characters, VarChar(20) holds 20"}},
      {"escape counts as one character",
       "topics.tsv",
       kTopicsHeader + "\\t\\n\tx\ty\n0\\t\\n\tx\ty\n",
       {5, "tables/topics.tsv:3: field 1 (topic_id): 3 characters, Char(2) holds 2"}},
      {"column the queries read is missing",
       "selection.tsv",
       "id:Long\ttg:Memo\txzA:Memo\txzB:Memo\txzC:Memo\txzD:Memo\txzE:Memo\txzF:Memo\tda:Memo\n",
       {5, "tables/selection.tsv:1: column \"tmlx\" missing; the exam's queries read it"}},
      {"fj missing",
       "powerpoint.tsv",
       "id:Long\ttg:Memo\n",
       {5, "tables/powerpoint.tsv:1: column \"fj\" missing; the exam's queries read it"}},
      {"id of a text type",
       "typewrite.tsv",
       "id:VarChar(10)\ttg:Memo\n",
       {5,
        "tables/typewrite.tsv:1: column \"id\" is VarChar(10); the exam's queries need a Long "
        "column"}},
      {"question text of a number type",
       "Operation.tsv",
       "id:Long\tQuestion:Memo\ttg:Long\n",
       {5,
        "tables/Operation.tsv:1: column \"tg\" is Long; the exam's queries need a text column "
        "(Char, VarChar or Memo)"}},
      {"fj as text",
       "wordtest.tsv",
       "id:Long\ttg:Memo\tFJ:Memo\n",
       {5,
        "tables/wordtest.tsv:1: column \"FJ\" is Memo; the exam's queries need a LongBinary "
        "column"}},
  };
  for (const DamageCase& c : cases) {
    SCOPED_TRACE(c.what);
    reset();
    write("tables/" + c.file, c.content);
    EXPECT_EQ(fault(), c.expected);
  }
}

TEST_F(ExamSourceTest, MissingTableFile) {
  fs::remove(dir_ / "tables/E_mail.tsv");
  EXPECT_EQ(fault(), (Fault{53,
                            "tables/E_mail.tsv: missing; the exam database needs all of its "
                            "tables: topics, test_paper, selection, judgement, typewrite, "
                            "Operation, wordtest, wordtable, exceltest, powerpoint, E_mail"}));
}

TEST_F(ExamSourceTest, UnknownTableFile) {
  write("tables/selections.tsv", "id:Long\n");
  EXPECT_EQ(fault(), (Fault{5,
                            "tables/selections.tsv: the exam database has no table "
                            "\"selections\"; its tables are topics, test_paper, selection, "
                            "judgement, typewrite, Operation, wordtest, wordtable, exceltest, "
                            "powerpoint, E_mail, and model_answer when wanted"}));
}

TEST_F(ExamSourceTest, TwoFilesOfOneTable) {
  write("tables/Topics.tsv", goodTables().at("topics.tsv"));
  // The two names list as equal, so either may come first; the message must
  // name both.
  const Fault f = fault();
  EXPECT_EQ(f.number, 5);
  EXPECT_TRUE(f.description ==
                  "tables/topics.tsv: a second file of the table topics "
                  "(tables/Topics.tsv)" ||
              f.description ==
                  "tables/Topics.tsv: a second file of the table topics "
                  "(tables/topics.tsv)")
      << f;
}

TEST_F(ExamSourceTest, OtherFilesInTheTablesFolder) {
  write("tables/notes.txt", "x");
  EXPECT_EQ(fault(),
            (Fault{5, "tables/notes.txt: not a table file; tables/ holds only <table>.tsv files"}));
  fs::remove(dir_ / "tables/notes.txt");
  fs::create_directory(dir_ / "tables/old.tsv");
  EXPECT_EQ(fault(), (Fault{5, "tables/old.tsv: a folder; tables/ holds only <table>.tsv files"}));
  fs::remove(dir_ / "tables/old.tsv");
  write("tables/.tsv", "x");  // hidden: ignored
  EXPECT_EQ(fault(), (Fault{0, "no error"}));
}

TEST_F(ExamSourceTest, MissingFolders) {
  fs::remove_all(dir_ / "tables");
  EXPECT_EQ(fault(), (Fault{76, "tables: no such folder in \"" + dir_.string() + "\""}));
  const fs::path gone = dir_ / "gone";
  try {
    readExamSource(gone);
    ADD_FAILURE() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ((Fault{e.number(), e.description()}),
              (Fault{76, gone.string() + ": no such folder"}));
  }
}

TEST_F(ExamSourceTest, TableFilesThatAreNoRegularFiles) {
  // A pipe must be refused, not read until a writer comes.
  fs::remove(dir_ / "tables/judgement.tsv");
  ASSERT_EQ(mkfifo((dir_ / "tables/judgement.tsv").c_str(), 0600), 0);
  EXPECT_EQ(fault(), (Fault{75, "tables/judgement.tsv: cannot read: Path/File access error"}));
  reset();
  fs::remove(dir_ / "files/w/a.bin");
  ASSERT_EQ(mkfifo((dir_ / "files/w/a.bin").c_str(), 0600), 0);
  EXPECT_EQ(fault(), (Fault{75,
                            "tables/wordtest.tsv:2: field 3 (fj): cannot read "
                            "\"files/w/a.bin\": Path/File access error"}));
}

TEST_F(ExamSourceTest, UnreadableTableFile) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  fs::permissions(dir_ / "tables/judgement.tsv", fs::perms::none);
  EXPECT_EQ(fault(), (Fault{70, "tables/judgement.tsv: cannot read: Permission denied"}));
}

TEST_F(ExamSourceTest, TheFirstFaultInTableOrderIsReported) {
  // Both topics (first) and E_mail (last) are damaged: topics is named.
  write("tables/E_mail.tsv", "id:Long\ttg:Memo\nx\ty\n");
  write("tables/topics.tsv", kTopicsHeader + "01\n");
  EXPECT_EQ(fault(), (Fault{5, "tables/topics.tsv:2: 1 field, 3 expected"}));
}

TEST(ParseSourceTable, ChecksTheFormatButNotTheExamColumns) {
  const SourceTable t = parseSourceTable("a:Memo\nx\n", "anything", "t.tsv", "/nonexistent");
  EXPECT_EQ(t.name, "anything");
  ASSERT_EQ(t.rows.size(), 1u);
  EXPECT_EQ(t.rows[0][0].value, Variant(std::string("x")));
}

TEST(EscapeSourceField, ReadsBackAsWritten) {
  std::mt19937 rng(7);
  const std::vector<std::string> pieces = {"\t", "\n", "\r", "\\", "N", "\\N", "中",
                                           "😀",  "@",  "\"", "<",  "&", "a",   " "};
  for (int round = 0; round < 500; ++round) {
    std::string s;
    const int n = static_cast<int>(rng() % 8);
    for (int i = 0; i < n; ++i) s += pieces[rng() % pieces.size()];
    const std::string field = escapeSourceField(s);
    ASSERT_EQ(field.find_first_of("\t\n\r"), std::string::npos) << field;
    const SourceTable t =
        parseSourceTable("id:Long\ttg:Memo\n1\t" + field + "\n", "x", "x.tsv", "/");
    ASSERT_EQ(t.rows.size(), 1u);
    if (s.empty()) {
      EXPECT_EQ(t.rows[0][1].value, Variant(std::string()));
    } else {
      EXPECT_EQ(t.rows[0][1].value, Variant(s)) << field;
    }
  }
  EXPECT_EQ(escapeSourceField("\\N"), "\\\\N");
}

TEST(EscapeSourceField, RefusesWhatATableFileCannotHold) {
  for (const std::string& bad : {std::string("a\x01"), std::string("\0", 1), std::string("\xFF")}) {
    EXPECT_THROW(escapeSourceField(bad), AutomationError) << bad;
  }
}

}  // namespace
}  // namespace bq
