// Checks the program folder as the build installs it (BQ_PROGRAM_FOLDER): the
// pages are GBK and say so, Begin.asp opens the section pages the client
// writes, and every file a page refers to is there.
#include <gtest/gtest.h>
#include <iconv.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path kProgram = BQ_PROGRAM_FOLDER;

const std::vector<std::string> kPages = {"BqLogin.asp", "StdKnow.asp",   "Begin.asp",
                                         "EndTest.asp", "UpdateSQL.asp", "Login.asp"};

std::string readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Strict GBK to UTF-8: nothing when any byte sequence is not GBK.
std::optional<std::string> decodeGbk(const std::string& bytes) {
  iconv_t cd = iconv_open("UTF-8", "GBK");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string out(bytes.size() * 3 / 2 + 16, '\0');
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char* dst = out.data();
  size_t outLeft = out.size();
  const size_t rc = iconv(cd, &in, &inLeft, &dst, &outLeft);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1) || inLeft != 0) return std::nullopt;
  out.resize(out.size() - outLeft);
  return out;
}

std::string page(const std::string& name) {
  const std::optional<std::string> text = decodeGbk(readBytes(kProgram / name));
  return text.value_or(std::string());
}

// All first groups of `pattern` in `text`.
std::vector<std::string> captures(const std::string& text, const std::string& pattern) {
  std::vector<std::string> found;
  const std::regex re(pattern);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator();
       ++it)
    found.push_back((*it)[1].str());
  return found;
}

TEST(ProgramFolderTest, PagesAreGbkAndDeclareIt) {
  // A page copied without conversion would still be valid UTF-8, and often
  // valid GBK too; only its Chinese title decoded from GBK shows it was converted.
  const std::map<std::string, std::string> headings = {
      {"BqLogin.asp", "岚屿克在线考试模拟试卷"}, {"StdKnow.asp", "考 生 须 知"},
      {"Begin.asp", "请 选 择 题 型"},           {"EndTest.asp", "考 试 结 束"},
      {"UpdateSQL.asp", "考 试 时 间 到"},       {"Login.asp", "岚屿克电子邮件"}};
  for (const std::string& name : kPages) {
    SCOPED_TRACE(name);
    const std::string bytes = readBytes(kProgram / name);
    ASSERT_TRUE(decodeGbk(bytes)) << "not GBK";
    const std::string text = *decodeGbk(bytes);
    EXPECT_NE(text.find("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"),
              std::string::npos);
    // The declaration must come early enough for the browser to honour it.
    EXPECT_LT(bytes.find("charset=gb2312"), 1024u);
    EXPECT_NE(text.find(headings.at(name)), std::string::npos);
    EXPECT_NE(bytes.substr(0, 3), "\xEF\xBB\xBF") << "byte-order mark";
  }
}

TEST(ProgramFolderTest, BeginOpensTheSectionPagesTheClientWrites) {
  // The function names are those of the generated pages' section bar; the
  // page names are those the client's before-navigate step recognises.
  const std::map<std::string, std::string> expected = {
      {"loadselection", "selection.asp"},  {"loadjudgement", "judgement.asp"},
      {"loadtypewrite", "typewrite.asp"},  {"loadoperation", "operation.asp"},
      {"loadwordtest", "wordtest.asp"},    {"loadwordtable", "wordtable.asp"},
      {"loadexceltest", "excel.asp"},      {"loade_mail", "e_mail.asp"},
      {"loadpowerpoint", "powerpoint.asp"}};
  const std::string text = page("Begin.asp");
  const std::regex re(
      R"re(function\s+(\w+)\s*\(\)\s*\{\s*window\.open\s*\(\s*"([^"]*)"\s*,\s*"_self"\s*\)\s*;?\s*\})re");
  std::map<std::string, std::string> found;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator();
       ++it)
    EXPECT_TRUE(found.emplace((*it)[1].str(), (*it)[2].str()).second) << "twice: " << (*it)[1];
  EXPECT_EQ(found, expected);
}

TEST(ProgramFolderTest, BeginHasAButtonPerTopicOfTheDatabase) {
  // topics.tsv: topic_id, topic_name, topic_table; the table names the load function.
  std::ifstream topics(fs::path("..") / "papers" / "tables" / "topics.tsv");
  ASSERT_TRUE(topics);
  const std::string text = page("Begin.asp");
  std::string line;
  std::getline(topics, line);
  int rows = 0;
  while (std::getline(topics, line)) {
    std::istringstream fields(line);
    std::string id, name, table;
    std::getline(fields, id, '\t');
    std::getline(fields, name, '\t');
    std::getline(fields, table, '\t');
    ++rows;
    const std::string button = "<input type=\"button\" class=\"button\" id=\"btn-" + table +
                               "\" value=\"" + name + "\" onclick=\"load" + table + "()\">";
    EXPECT_NE(text.find(button), std::string::npos) << button;
  }
  EXPECT_EQ(rows, 9);
}

TEST(ProgramFolderTest, EveryFileAPageNamesIsInstalled) {
  const std::set<std::string> generated = {"selection.asp", "judgement.asp", "typewrite.asp",
                                           "operation.asp", "wordtest.asp",  "wordtable.asp",
                                           "excel.asp",     "e_mail.asp",    "powerpoint.asp"};
  for (const std::string& name : kPages) {
    SCOPED_TRACE(name);
    const std::string text = page(name);
    ASSERT_FALSE(text.empty());
    std::vector<std::string> refs = captures(text, R"re((?:src|href)\s*=\s*"([^"]+)")re");
    for (const std::string& target : captures(text, R"re(window\.open\s*\(\s*["']([^"']+)["'])re"))
      if (!generated.contains(target)) refs.push_back(target);
    for (const std::string& ref : refs) EXPECT_TRUE(fs::is_regular_file(kProgram / ref)) << ref;
  }
  const std::string css = readBytes(kProgram / "bq.css");
  for (const std::string& ref : captures(css, R"(url\(([^)]+)\))"))
    EXPECT_TRUE(fs::is_regular_file(kProgram / ref)) << ref;
}

TEST(ProgramFolderTest, MediaFilesAreWhole) {
  for (const char* name : {"images/back01.gif", "images/hand.gif"}) {
    const std::string bytes = readBytes(kProgram / name);
    EXPECT_EQ(bytes.substr(0, 6), "GIF89a") << name;
    EXPECT_EQ(bytes.back(), '\x3B') << name << " lacks its trailer";
  }
  const std::string avi = readBytes(kProgram / "bq.avi");
  ASSERT_GE(avi.size(), 12u);
  EXPECT_EQ(avi.substr(0, 4), "RIFF");
  EXPECT_EQ(avi.substr(8, 4), "AVI ");
  const auto* p = reinterpret_cast<const unsigned char*>(avi.data()) + 4;
  const size_t riffSize = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<size_t>(p[3]) << 24);
  EXPECT_EQ(riffSize + 8, avi.size());
  EXPECT_NE(avi.find("idx1"), std::string::npos);
}

}  // namespace
