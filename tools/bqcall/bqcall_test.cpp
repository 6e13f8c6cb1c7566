// bqcall's interface is a contract other programs rely on: these tests run the
// real program and read its answers as those programs do.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "platform/office/testing/test_packages.h"

namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

struct Result {
  int exitCode;
  std::string out, err;
};

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

class Bqcall : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq-bqcall-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override { fs::remove_all(dir_); }

  Result run(const std::vector<std::string>& args, const std::string& input = "") {
    std::ofstream(dir_ / "stdin") << input;
    std::string cmd = quote(BQCALL_PATH);
    for (const auto& a : args) cmd += " " + quote(a);
    cmd += " <" + quote((dir_ / "stdin").string()) + " >" + quote((dir_ / "stdout").string()) +
           " 2>" + quote((dir_ / "stderr").string());
    int status = std::system(cmd.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(dir_ / "stdout"),
            slurp(dir_ / "stderr")};
  }

  fs::path dir_;
};

TEST_F(Bqcall, AnswersResultAndByReferenceArguments) {
  Result r = run({"BrightquillClient", "GetOpScore", "a,b,", "A,"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  json j = json::parse(r.out);
  EXPECT_DOUBLE_EQ(j["result"].get<double>(), 2.0 / 3.0);
  EXPECT_TRUE(j["args"].empty());

  // A programmatic identifier names the class as well; a dictionary comes in as
  // an array of keys and goes out as an object in key order.
  r = run({"BrightquillCom.BrightquillClient", "SplitOpZSD", ",z,,a,", R"(["k"])"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  j = json::parse(r.out);
  EXPECT_TRUE(j["result"].is_null());
  EXPECT_EQ(j["args"]["d"].dump(), R"({"k":1,"z":1,"a":1})");

  r = run({"BrightquillClient", "JoinOpZSD", R"({"x\\":1,"y":1})"});
  EXPECT_EQ(json::parse(r.out)["result"], "x\\,y");

  // A trailing by-reference argument may be left out.
  fs::create_directories(dir_ / "tree" / "Sub");
  std::ofstream(dir_ / "tree" / "Sub" / "f.doc") << "x";
  r = run({"BrightquillClient", "GetOperationZSD", (dir_ / "tree").string()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(json::parse(r.out)["args"]["dZSD"].dump(), R"({"Sub\\":1,"Sub\\f.doc":1})");
}

TEST_F(Bqcall, ReportsAFailedCallWithNumberSourceAndDescription) {
  Result r =
      run({"BrightquillClient", "GetOpZSDFromFile", (dir_ / "missing.txt").string(), "kept"});
  EXPECT_EQ(r.exitCode, 1);
  json j = json::parse(r.out);
  EXPECT_EQ(j["error"]["number"], 53);
  EXPECT_EQ(j["error"]["source"], "BrightquillCom");
  EXPECT_EQ(j["error"]["description"], "File not found");
  EXPECT_EQ(j["args"]["cZSD"], "kept");
}

// A one-sheet workbook: Sheet1 holds the text 甲 in A1.
void writeOneCellWorkbook(const fs::path& file) {
  std::vector<bq::office::testing::Entry> parts = bq::office::testing::workbookEntries();
  for (auto& part : parts)
    if (part.name == "xl/worksheets/sheet1.xml")
      part.data =
          "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
          "<sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>甲</t></is></c></row>"
          "</sheetData></worksheet>";
  bq::office::testing::writeZip(file, parts);
}

TEST_F(Bqcall, ReadsAndScoresExcelAnswers) {
  const fs::path book = dir_ / "ex1.xlsx";
  writeOneCellWorkbook(book);

  Result r = run({"BrightquillClient", "ReadExcel", book.string(), R"(["old"])"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  json d = json::parse(r.out)["args"]["dObj"];
  EXPECT_EQ(d.begin().key(), "old");
  EXPECT_EQ(d["单元内容,甲"], 1);
  EXPECT_EQ(d["边框线型,无"], 1);

  // The sheet name is optional; a sheet that is not there reads nothing.
  r = run({"BrightquillClient", "ReadExcel", book.string(), "[]", "Nope"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(json::parse(r.out)["args"]["dObj"].dump(), "{}");

  r = run({"BrightquillClient", "GetExcelScore", "excel", R"(["单元内容,甲","单元内容,乙"])",
           book.string(), "[]", R"(["x"])", "Sheet1"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  json j = json::parse(r.out);
  EXPECT_DOUBLE_EQ(j["result"].get<double>(), 0.5);
  EXPECT_EQ(j["args"]["d1"].dump(), R"({"单元内容,甲":1})");
  EXPECT_EQ(j["args"]["d2"].dump(), R"({"x":1,"单元内容,乙":1})");

  // A workbook is no presentation (and a call of its own has no PowerPoint
  // application): nothing matches, the earlier d1 stays, d2 gets the key.
  r = run(
      {"BrightquillClient", "GetExcelScore", "POWERPOINT", R"(["a"])", book.string(), R"(["k"])"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  j = json::parse(r.out);
  EXPECT_EQ(j["result"], 0.0);
  EXPECT_EQ(j["args"]["d1"].dump(), R"({"k":1})");
  EXPECT_EQ(j["args"]["d2"].dump(), R"({"a":1})");
}

TEST_F(Bqcall, ReadsPresentationsWithTheThreadsApplicationBetweenLines) {
  const std::string deck = std::string(BQ_PPT_DECKS) + "/red_text.pptx";
  const std::string input =
      R"({"class":"BrightquillClient","method":"ReadPPT","args":[")" + deck + R"(",[]]})" "\n"
      R"({"class":"BrightquillClient","method":"OpenPPTApp","args":[]})" "\n"
      R"({"object":"c","class":"BrightquillClient","method":"ReadPPT","args":[")" + deck + R"("]})" "\n"
      R"({"class":"BrightquillClient","method":"GetExcelScore","args":["POWERPOINT",["文本,红色","文本,蓝色"],")" +
      deck + R"("]})" "\n"
      R"({"object":"c","method":"ClosePPT","args":[]})" "\n"
      R"({"class":"BrightquillClient","method":"ClosePPT","args":[]})" "\n";
  Result r = run({"-"}, input);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  std::vector<json> lines;
  std::istringstream in(r.out);
  for (std::string l; std::getline(in, l);) lines.push_back(json::parse(l));
  ASSERT_EQ(lines.size(), 6u) << r.out;
  EXPECT_EQ(lines[0]["args"]["dObj"].dump(), "{}") << "no application yet";
  EXPECT_TRUE(lines[1]["result"].is_null());
  // Another object on the same thread uses the application.
  EXPECT_EQ(lines[2]["args"]["dObj"]["文本,红色"], 1);
  EXPECT_EQ(lines[2]["args"]["dObj"]["文本颜色,存在"], 1);
  EXPECT_DOUBLE_EQ(lines[3]["result"].get<double>(), 0.5);
  EXPECT_TRUE(lines[4]["result"].is_null());
  EXPECT_EQ(lines[5]["error"]["number"], 91);
  EXPECT_EQ(lines[5]["error"]["source"], "BrightquillCom");

  // A call of its own has no application to close.
  r = run({"BrightquillClient", "ClosePPT"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(json::parse(r.out)["error"]["description"], "Object variable or With block variable not set");
}

// A one-paragraph Word document, "你好 world".
void writeOneParagraphDocument(const fs::path& file) {
  const std::string w = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
  const std::string r = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  bq::office::testing::writeZip(
      file,
      {{"[Content_Types].xml",
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>"},
       {"_rels/.rels", "<Relationships xmlns=\"" + bq::office::testing::kPkgRel +
                           "\"><Relationship Id=\"d\" Type=\"" + r +
                           "/officeDocument\" Target=\"word/document.xml\"/></Relationships>"},
       {"word/document.xml", "<w:document xmlns:w=\"" + w +
                                 "\"><w:body><w:p><w:r><w:t>你好 world</w:t></w:r></w:p>"
                                 "</w:body></w:document>"}});
}

TEST_F(Bqcall, ReadsAndScoresWordAnswers) {
  const fs::path doc = dir_ / "wd1.docx";
  writeOneParagraphDocument(doc);
  Result r = run({"BrightquillClient", "ReadWord", doc.string(), "[]"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  json j = json::parse(r.out);
  EXPECT_TRUE(j["result"].is_null());
  EXPECT_EQ(j["args"]["dObj"]["页眉正文,\r"], 1);
  EXPECT_EQ(j["args"]["dObj"]["文本,world"], 1);
  EXPECT_EQ(j["args"]["dObj"]["文本,你好 world\r"], 1);

  r = run({"BrightquillClient", "ReadWordTable", doc.string(), "[]"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const json table = json::parse(r.out)["args"]["dObj"];
  EXPECT_EQ(table["文本,你好 world\r"], 1);
  // No table: no border items, and no cell items for a paragraph outside one.
  for (const auto& [key, item] : table.items()) {
    EXPECT_NE(key.rfind("外框", 0), 0u) << key;
    EXPECT_NE(key.rfind("单元格", 0), 0u) << key;
  }

  r = run({"BrightquillClient", "GetExcelScore", "WORDTABLE", R"(["文本,你好 world\r","文本,x"])",
           doc.string(), "[]", "[]"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_DOUBLE_EQ(json::parse(r.out)["result"].get<double>(), 0.5);
}

TEST_F(Bqcall, RefusesCallsItCannotMake) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"NoSuchClass", "X"},
           {"BrightquillClient", "NoSuchMethod"},
           {"BrightquillClient", "GetOpScore", "a"},            // missing argument
           {"BrightquillClient", "GetOpScore", "a", "b", "c"},  // one too many
           {"BrightquillClient", "JoinOpZSD", "{not json"},
           {"BrightquillClient", "JoinOpZSD", R"({"k":"text item"})"},
           {"BrightquillClient"}}) {
    Result r = run(args);
    EXPECT_EQ(r.exitCode, 2) << args.back();
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_FALSE(r.err.empty());
  }
}

TEST_F(Bqcall, ReadsOneCallPerLineAndKeepsNamedObjects) {
  std::string input =
      R"({"object":"c","class":"BrightquillClient","method":"GetOpScore","args":["a,b","b,a"]})"
      "\n\n"
      R"({"object":"c","method":"JoinOpZSD","args":[["p","q"]]})"
      "\n"
      R"({"class":"BrightquillCom.BrightquillClient","method":"GetOpZSDFromFile","args":["/nonexistent/x"]})"
      "\n"
      R"({"object":"nobody","method":"JoinOpZSD","args":[[]]})"
      "\n";
  Result r = run({"-"}, input);
  EXPECT_EQ(r.exitCode, 2) << "one line was a usage error";
  std::vector<json> lines;
  std::istringstream in(r.out);
  for (std::string l; std::getline(in, l);) lines.push_back(json::parse(l));
  ASSERT_EQ(lines.size(), 4u) << r.out;
  EXPECT_DOUBLE_EQ(lines[0]["result"].get<double>(), 1.0);
  EXPECT_EQ(lines[1]["result"], "p,q");
  EXPECT_EQ(lines[2]["error"]["number"], 76);
  EXPECT_TRUE(lines[3].contains("usage"));
}

// BQCOM from a shell, on drives in a temporary folder.
class BqcallBqcom : public Bqcall {
 protected:
  void SetUp() override {
    Bqcall::SetUp();
    setenv("BQ_DRIVES", (dir_ / "drives").c_str(), 1);
    // No display: a window would wait for a person.
    for (const char* v : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(v);
  }
  void TearDown() override {
    unsetenv("BQ_DRIVES");
    Bqcall::TearDown();
  }
};

TEST_F(BqcallBqcom, CreatesClearsAndEndsWithEmptyResults) {
  const fs::path c = dir_ / "drives" / "c";
  Result r = run({"BQCOM", "CreateOpDirs", "C:\\BQTEST", "a\\,a\\b.txt"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  json j = json::parse(r.out);
  EXPECT_TRUE(j["result"].is_null());
  EXPECT_TRUE(j["args"].empty());
  EXPECT_TRUE(fs::is_directory(c / "BQTEST"));
  EXPECT_TRUE(fs::is_regular_file(c / "BqOperation" / "a" / "b.txt"));
  json registry = json::parse(slurp(dir_ / "drives" / "registry" / "HKCU.json"));
  EXPECT_EQ(registry["Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced"]
                    ["HideFileExt"]["data"],
            0)
      << registry.dump();

  r = run({"BrightquillWebComm.BQCOM", "TermProc"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(json::parse(r.out)["result"].is_null());

  r = run({"bqcom", "pretest", "C:\\BQTEST"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_FALSE(fs::exists(c / "BQTEST"));
  EXPECT_FALSE(fs::exists(c / "BqOperation"));
}

TEST_F(BqcallBqcom, ReportsTheComponentsErrors) {
  Result r = run({"BQCOM", "CreateOpDirs", "C:\\NoSuch\\BQTEST", ""});
  EXPECT_EQ(r.exitCode, 1);
  json j = json::parse(r.out);
  EXPECT_EQ(j["error"]["number"], 76);
  EXPECT_EQ(j["error"]["source"], "BrightquillWebCom");
  EXPECT_EQ(j["error"]["description"], "Path not found");

  r = run({"BQCOM", "CreateOpDirs", "C:\\BQTEST", "..\\x.txt"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(json::parse(r.out)["error"]["number"], 75);

  // No display here: the end-of-test window cannot be shown.
  r = run({"BQCOM", "EndTest", "C:\\BQTEST"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(json::parse(r.out)["error"]["number"], 429);
  // Nor the title window; an empty text shows none and succeeds.
  r = run({"BQCOM", "QuestionPane", "a~b"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(json::parse(r.out)["error"]["number"], 429);
  r = run({"BQCOM", "QuestionPane", ""});
  EXPECT_EQ(r.exitCode, 0) << r.err;

  EXPECT_EQ(run({"BQCOM", "TermProc", "extra"}).exitCode, 2);
  EXPECT_EQ(run({"BQCOM", "PreTest"}).exitCode, 2);
}

TEST_F(Bqcall, ListsEveryClassAndMethod) {
  Result r = run({"--list"});
  ASSERT_EQ(r.exitCode, 0);
  for (const char* m :
       {"GetOperationZSD(cPath: text, dZSD: dictionary by reference)", "GetOpZSDFromFile",
        "JoinOpZSD", "SplitOpZSD", "GetOpScore", "GetMailZSDFromPath",
        "ReadExcel(cFile: text, dObj: dictionary by reference, cTbl: text optional)",
        "GetExcelScore", "OpenPPTApp() -> empty", "ReadPPT(cFile: text, dObj: dictionary by reference)",
        "ClosePPT() -> empty", "BrightquillCom.BrightquillClient", "BQCOM (BrightquillWebComm.BQCOM)",
        "ReadWord(cFile: text, dObj: dictionary by reference)", "ReadWordTable",
        "CreateOpDirs(cPath: text, cZSD: text) -> empty", "PreTest(cPath: text)",
        "EndTest(cPath: text)", "TermProc() -> empty", "QuestionPane(tg: text) -> empty",
        "FileDownLoad(cIP: text by reference, cPort: text by reference"})
    EXPECT_NE(r.out.find(m), std::string::npos) << m;
}

// ------------------------------------------------------------ question files

// The rows (id, question file) of the Office question table `table` of the
// demo source, read from its table file: the first line names the columns,
// fields are separated by TABs, and a question file is written "@path".
std::vector<std::pair<std::string, fs::path>> demoQuestionFiles(const std::string& table) {
  std::ifstream f(fs::path(BQ_DEMO_PAPERS_SRC) / "tables" / (table + ".tsv"));
  auto split = [](const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
    return fields;
  };
  std::string line;
  std::getline(f, line);
  size_t id = 0, fj = 0;
  const auto header = split(line);
  for (size_t i = 0; i < header.size(); ++i) {
    if (header[i].rfind("id:", 0) == 0) id = i;
    if (header[i].rfind("fj:", 0) == 0) fj = i;
  }
  std::vector<std::pair<std::string, fs::path>> rows;
  while (std::getline(f, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto fields = split(line);
    if (fields.size() > fj && fields[fj].rfind("@", 0) == 0)
      rows.emplace_back(fields[id], fs::path(BQ_DEMO_PAPERS_SRC) / fields[fj].substr(1));
  }
  return rows;
}

std::string demoConnection(const std::string& password = "KVRMTX5830") {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" BQ_DEMO_DATABASE
         ";Jet OLEDB:Database Password=" +
         password + ";";
}

std::string recordset(const std::string& connection, const std::string& sql) {
  return json{{"connection", connection}, {"source", sql}}.dump();
}

TEST_F(Bqcall, ExportsEveryDemoQuestionFileByteForByte) {
  size_t exported = 0;
  for (const char* table : {"wordtest", "wordtable", "exceltest", "powerpoint"}) {
    const auto rows = demoQuestionFiles(table);
    EXPECT_FALSE(rows.empty()) << table;
    for (const auto& [id, document] : rows) {
      SCOPED_TRACE(std::string(table) + " " + id);
      const fs::path out = dir_ / ("q" + std::to_string(exported++));
      Result r = run({"BrightquillClient", "GetOleData",
                      recordset(demoConnection(),
                                std::string("SELECT fj FROM ") + table + " WHERE id = " + id),
                      out.string(), "fj"});
      ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
      EXPECT_EQ(json::parse(r.out)["result"], true);
      const std::string expected = slurp(document);
      ASSERT_FALSE(expected.empty());
      EXPECT_TRUE(slurp(out) == expected) << "exported file differs from " << document;
    }
  }
  EXPECT_GE(exported, 4u);
}

TEST_F(Bqcall, ExportOfAMissingQuestionOrWithAWrongPasswordFails) {
  struct Case {
    std::string connection, sql;
    const char* description;
  };
  const Case cases[] = {
      {demoConnection(), "SELECT fj FROM wordtest WHERE id = -1", "current record"},
      {demoConnection("kvrmtx5830"), "SELECT fj FROM wordtest WHERE id = 1",
       "Not a valid password."},
      {demoConnection(), "SELECT tg FROM nosuch WHERE id = 1", "no such table"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    const fs::path out = dir_ / "out.doc";
    Result r = run(
        {"BrightquillClient", "GetOleData", recordset(c.connection, c.sql), out.string(), "fj"});
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    const json j = json::parse(r.out);
    EXPECT_NE(j["error"]["description"].get<std::string>().find(c.description), std::string::npos)
        << r.out;
  }
}

}  // namespace

// ------------------------------------------------------------ backup and restore

TEST_F(Bqcall, BacksUpAndRestoresWithRecordedPictureControls) {
  setenv("BQ_TEMP_DATABASE_FOLDER", dir_.c_str(), 1);
  const std::string live = (dir_ / "live.db").string();
  std::ofstream(live).close();
  const std::string cn = "Provider=SQLite;Data Source=" + live + ";";
  const std::string bak = (dir_ / "t.bak").string();
  auto line = [](const std::string& method, const json& args) {
    return json{{"object", "c"}, {"class", "BrightquillClient"}, {"method", method}, {"args", args}}
               .dump() +
           "\n";
  };
  // The stored settings belong to the thread, not to the object: a second
  // object's call counts for the first one too.
  const std::string input =
      line("SetConnStr", {"x", false}) +
      R"({"class":"BrightquillClient","method":"SetConnStr","args":[")" + cn +
      R"(",false]})"
      "\n" +
      line("DbBackup", {"record", "record", json::array({"T"}), bak}) +
      line("DbRestore", {"record", "console", json::array({"T"}), bak, "", true}) +
      line("DbBackup", {"record", "no picture", json::array({"T"}), bak});
  Result r = run({"-"}, input);
  std::vector<json> lines;
  std::istringstream in(r.out);
  for (std::string l; std::getline(in, l);) lines.push_back(json::parse(l));
  ASSERT_EQ(lines.size(), 5u) << r.out << r.err;
  // Backup of a table the database does not have: the file is written, the
  // table left out; both controls were shown and hidden again.
  const json doing = lines[2]["args"]["DoingPic"];
  EXPECT_EQ(doing.front(), (json{{"visible", true}}));
  EXPECT_EQ(doing[1], (json{{"text", "已进行 0%, 请稍侯 ...."}, {"bar", 0.0}}));
  EXPECT_EQ(doing.back(), (json{{"visible", false}}));
  EXPECT_EQ(lines[2]["args"]["SubDoingPic"],
            (json::array({json{{"visible", true}}, json{{"visible", false}}})));
  EXPECT_TRUE(fs::exists(bak));
  EXPECT_EQ(lines[3]["args"]["SubDoingPic"], "console");
  // A value that is no picture control fails where it is first used.
  EXPECT_EQ(lines[4]["error"]["number"], 424);
  EXPECT_EQ(lines[4]["error"]["description"], "Object required");
  EXPECT_EQ(lines[4]["args"]["SubDoingPic"], "no picture");
  unsetenv("BQ_TEMP_DATABASE_FOLDER");
}

// ------------------------------------------------------------ archives and dialogs

TEST_F(Bqcall, ArchiveClassesKeepTheirPropertiesAcrossLines) {
  std::ofstream(dir_ / "a.txt") << "archived";
  const std::string zip = (dir_ / "s.zip").string(), out = (dir_ / "out").string();
  std::string input;
  for (const json& call :
       {json{{"object", "z"}, {"class", "CGZipFiles"}, {"method", "Let ZipFileName"}, {"args", {zip}}},
        json{{"object", "z"}, {"method", "AddFile"}, {"args", {(dir_ / "a.txt").string()}}},
        json{{"object", "z"}, {"method", "Get ZipFileCount"}},
        json{{"object", "z"}, {"method", "MakeZipFile"}},
        json{{"object", "z"}, {"method", "AddFile"}, {"args", {"QUERTY"}}},
        json{{"object", "u"}, {"class", "BrightquillCom.CGUnzipFiles"}, {"method", "Let HonorDirectories"}, {"args", {false}}},
        json{{"object", "u"}, {"method", "Unzip"}, {"args", {zip, out}}},
        json{{"object", "u"}, {"method", "Get ExtractDir"}},
        json{{"object", "u"}, {"method", "Let MessageLevel"}, {"args", {40000}}},
        json{{"object", "u"}, {"method", "Unzip"}}}) {
    input += call.dump() + "\n";
  }
  Result r = run({"-"}, input);
  EXPECT_EQ(r.exitCode, 0) << r.err;
  std::vector<json> lines;
  std::istringstream in(r.out);
  for (std::string l; std::getline(in, l);) lines.push_back(json::parse(l));
  ASSERT_EQ(lines.size(), 10u) << r.out;
  EXPECT_EQ(lines[2]["result"], 1);
  EXPECT_EQ(lines[3]["result"], 0);
  EXPECT_EQ(lines[4]["error"]["number"], -2147219503);
  EXPECT_EQ(lines[4]["error"]["source"], "CGZip::AddFile");
  EXPECT_EQ(lines[6]["result"], 0);
  EXPECT_EQ(lines[7]["result"], out);
  EXPECT_EQ(lines[9]["error"]["number"], 6);
  EXPECT_EQ(lines[9]["error"]["source"], "CGUnZipFiles::Unzip");
  EXPECT_EQ(slurp(dir_ / "out" / "a.txt"), "archived");
}

TEST_F(Bqcall, ZipAndUnzipOneFile) {
  std::ofstream(dir_ / "one.txt") << "one";
  const std::string zip = (dir_ / "one.zip").string();
  Result r = run({"BrightquillClient", "Zip", zip, (dir_ / "one.txt").string()});
  EXPECT_EQ(json::parse(r.out)["result"], true) << r.out << r.err;
  r = run({"BrightquillClient", "Unzip", zip, (dir_ / "x").string()});
  EXPECT_EQ(json::parse(r.out)["result"], true) << r.out << r.err;
  EXPECT_EQ(slurp(dir_ / "x" / "one.txt"), "one");
  // A missing archive: the message box goes to the console, the answer is false.
  r = run({"BrightquillClient", "Unzip", (dir_ / "none.zip").string(), (dir_ / "x").string()});
  EXPECT_EQ(json::parse(r.out)["result"], false);
  EXPECT_NE(r.err.find("解压缩不成功，请检查！"), std::string::npos) << r.err;
}

TEST_F(Bqcall, DialogArguments) {
  const std::string chosen = (dir_ / "chosen.txt").string();
  struct Case {
    std::string dialog;
    int exitCode;
    std::string result;
    std::string file;
  };
  const Case cases[] = {
      {R"({"answer":")" + chosen + R"("})", 0, dir_.string(), chosen},
      {R"({"answer":null})", 0, "", ""},
      {R"({})", 0, fs::current_path().string(), (fs::current_path() / "start.txt").string()},
      {R"("text")", 1, "", "start.txt"},
  };
  for (const Case& c : cases) {
    Result r = run({"BrightquillClient", "GetSaveFile", c.dialog, "start.txt", "保存", "文本|*.txt"});
    EXPECT_EQ(r.exitCode, c.exitCode) << c.dialog << r.out << r.err;
    json j = json::parse(r.out);
    if (c.exitCode == 0) {
      EXPECT_EQ(j["result"], c.result) << c.dialog;
    } else {
      EXPECT_EQ(j["error"]["number"], 424);
    }
    EXPECT_EQ(j["args"]["cFile"], c.file) << c.dialog;
  }
  Result r = run({"BrightquillClient", "GetOpenFile", R"({"colour":1})", "", "", ""});
  EXPECT_EQ(r.exitCode, 2) << "an unknown key is a usage error";
}
