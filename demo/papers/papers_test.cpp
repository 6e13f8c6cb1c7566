// The demo papers, read from the assembled source folder, hold together as
// exams the client can run: every reference resolves, every answer fits its
// question, every text survives the trip into the ANSI code page.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>

#include "common/ansi.h"
#include "common/text.h"
#include "dbmaint/exam_source.h"

namespace bq {
namespace {

const char* const kFolder = BQ_DEMO_PAPERS_SRC;

class DemoPapers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { source_ = new ExamSource(readExamSource(kFolder)); }
  static void TearDownTestSuite() {
    delete source_;
    source_ = nullptr;
  }

  static const SourceTable& table(std::string_view name) {
    const SourceTable* t = source_->table(name);
    if (t == nullptr) throw std::runtime_error("no table " + std::string(name));
    return *t;
  }
  // The text of column `column` in `row` of `t`; "" for Null.
  static std::string text(const SourceTable& t, size_t row, std::string_view column) {
    const Variant& v = t.rows[row][*t.columnIndex(column)].value;
    return v.is<std::string>() ? v.as<std::string>() : std::string();
  }
  static int32_t number(const SourceTable& t, size_t row, std::string_view column) {
    return t.rows[row][*t.columnIndex(column)].value.as<int32_t>();
  }
  static std::string where(const SourceTable& t, size_t row) {
    return t.file + ":" + std::to_string(t.rowLines[row]);
  }

  struct PaperRow {
    std::string uid;  // as stored
    std::string topic;
    int32_t tpid;
    std::string answer;
    std::string at;
  };
  // The rows of test_paper by card number in lower case, as the client types it.
  static std::map<std::string, std::vector<PaperRow>> papers() {
    std::map<std::string, std::vector<PaperRow>> out;
    const SourceTable& t = table("test_paper");
    for (size_t r = 0; r < t.rows.size(); ++r) {
      PaperRow p{text(t, r, "uid"), text(t, r, "topic_id"), number(t, r, "tpid"),
                 text(t, r, "answer"), where(t, r)};
      out[lcase(p.uid)].push_back(p);
    }
    return out;
  }
  static std::optional<size_t> rowOfId(const SourceTable& t, int32_t id) {
    for (size_t r = 0; r < t.rows.size(); ++r) {
      if (number(t, r, "id") == id) return r;
    }
    return std::nullopt;
  }
  static std::map<std::string, std::string> topicTables() {
    std::map<std::string, std::string> out;
    const SourceTable& t = table("topics");
    for (size_t r = 0; r < t.rows.size(); ++r) {
      out[text(t, r, "topic_id")] = text(t, r, "topic_table");
    }
    return out;
  }

  static ExamSource* source_;
};
ExamSource* DemoPapers::source_ = nullptr;

TEST_F(DemoPapers, TopicsNameTheTablesAndLoadFunctionsThePagesUse) {
  const std::map<std::string, std::string> expected = {
      {"01", "selection"}, {"02", "judgement"}, {"04", "typewrite"},
      {"05", "operation"}, {"06", "wordtest"},  {"07", "wordtable"},
      {"08", "exceltest"}, {"10", "e_mail"},    {"11", "powerpoint"}};
  EXPECT_EQ(topicTables(), expected);
  const SourceTable& t = table("topics");
  for (size_t r = 0; r < t.rows.size(); ++r) {
    // The caption is pasted into an unquoted value= attribute of the section bar.
    const std::string caption = text(t, r, "topic_name");
    EXPECT_FALSE(caption.empty()) << where(t, r);
    EXPECT_EQ(caption.find_first_of(" \t\"'<>&="), std::string::npos) << where(t, r);
    EXPECT_NE(source_->table(text(t, r, "topic_table")), nullptr) << where(t, r);
  }
}

TEST_F(DemoPapers, EveryPaperRowNamesAnExistingQuestion) {
  const std::map<std::string, std::string> tables = topicTables();
  std::map<std::string, std::set<int32_t>> used;
  for (const auto& [card, rows] : papers()) {
    std::set<std::pair<std::string, int32_t>> seen;
    for (const PaperRow& p : rows) {
      ASSERT_TRUE(tables.count(p.topic)) << p.at << ": topic " << p.topic;
      const SourceTable& q = table(tables.at(p.topic));
      EXPECT_TRUE(rowOfId(q, p.tpid)) << p.at << ": no " << q.name << " " << p.tpid;
      EXPECT_TRUE(seen.emplace(p.topic, p.tpid).second) << p.at << ": question twice";
      used[q.name].insert(p.tpid);
    }
  }
  // Every question is used by some paper, and ids are unique in their table.
  for (const auto& [code, name] : tables) {
    const SourceTable& q = table(name);
    std::set<int32_t> ids;
    for (size_t r = 0; r < q.rows.size(); ++r) {
      EXPECT_TRUE(ids.insert(number(q, r, "id")).second) << where(q, r) << ": id twice";
      EXPECT_TRUE(used[q.name].count(number(q, r, "id"))) << where(q, r) << ": in no paper";
    }
  }
}

TEST_F(DemoPapers, CardNumbersAndSections) {
  const auto all = papers();
  std::vector<std::string> cards;
  for (const auto& [card, rows] : all) cards.push_back(card);
  EXPECT_EQ(cards, (std::vector<std::string>{"bq1", "bq2", "bq3", "bq4", "bq5"}));
  for (const auto& [card, rows] : all) {
    SCOPED_TRACE(card);
    std::map<std::string, int> count;
    for (const PaperRow& p : rows) {
      ++count[p.topic];
      // Odd papers are stored upper-case, even ones lower-case, so that only
      // a lookup without regard to case finds every paper.
      const bool odd = (card.back() - '0') % 2 == 1;
      EXPECT_EQ(p.uid, odd ? ucase(card) : card) << p.at;
    }
    EXPECT_EQ(count["05"], 1) << "the preparation needs one file-operation question";
    EXPECT_LE(count["01"], 20);
    EXPECT_LE(count["02"], 20);
    for (const char* once : {"04", "06", "07", "08", "10", "11"}) {
      EXPECT_LE(count[once], 1) << once << ": the pages show only the first";
    }
  }
  std::map<std::string, int> bq1;
  for (const PaperRow& p : all.at("bq1")) ++bq1[p.topic];
  EXPECT_EQ(bq1, (std::map<std::string, int>{{"01", 20},
                                             {"02", 20},
                                             {"04", 1},
                                             {"05", 1},
                                             {"06", 1},
                                             {"07", 1},
                                             {"08", 1},
                                             {"10", 1},
                                             {"11", 1}}));
}

TEST_F(DemoPapers, PapersVary) {
  const auto all = papers();
  auto topicsOf = [&](const std::string& card) {
    std::set<std::string> s;
    for (const PaperRow& p : all.at(card)) s.insert(p.topic);
    return s;
  };
  int withoutTyping = 0, wordOnly = 0;
  for (const auto& [card, rows] : all) {
    const std::set<std::string> t = topicsOf(card);
    withoutTyping += !t.count("04");
    const std::set<std::string> office = {"06", "07", "08", "10", "11"};
    std::vector<std::string> has;
    std::set_intersection(t.begin(), t.end(), office.begin(), office.end(),
                          std::back_inserter(has));
    wordOnly += has == std::vector<std::string>{"06"};
  }
  EXPECT_GE(withoutTyping, 1);
  EXPECT_GE(wordOnly, 1);
  // Some question text of bq4 holds what a page must cope with.
  const std::map<std::string, std::string> tables = topicTables();
  std::string bq4;
  for (const PaperRow& p : all.at("bq4")) {
    const SourceTable& q = table(tables.at(p.topic));
    bq4 += text(q, *rowOfId(q, p.tpid), "tg");
  }
  for (const char* c : {"\"", "<", ">", "&"}) EXPECT_NE(bq4.find(c), std::string::npos) << c;
}

TEST_F(DemoPapers, ChoiceQuestionsAndStoredAnswers) {
  const SourceTable& s = table("selection");
  std::map<int32_t, std::string> options;  // id -> letters that have a text
  for (size_t r = 0; r < s.rows.size(); ++r) {
    SCOPED_TRACE(where(s, r));
    EXPECT_FALSE(trimSpaces(text(s, r, "tg")).empty());
    std::string letters;
    for (char l = 'A'; l <= 'F'; ++l) {
      if (!trimSpaces(text(s, r, std::string("xz") + l)).empty()) letters += l;
    }
    EXPECT_GE(letters.size(), 2u);
    options[number(s, r, "id")] = letters;
    const std::string da = text(s, r, "da");
    const std::string kind = text(s, r, "tmlx");
    EXPECT_TRUE(kind == "1" || kind == "2") << kind;
    EXPECT_EQ(da.size() == 1, kind == "1") << "one letter exactly for one-answer questions";
    EXPECT_TRUE(std::is_sorted(da.begin(), da.end()) &&
                std::adjacent_find(da.begin(), da.end()) == da.end());
    for (char c : da) EXPECT_NE(letters.find(c), std::string::npos) << da;
  }
  const SourceTable& j = table("judgement");
  for (size_t r = 0; r < j.rows.size(); ++r) {
    const std::string da = text(j, r, "da");
    EXPECT_TRUE(da == "0" || da == "1") << where(j, r);
  }
  int answered = 0;
  for (const auto& [card, rows] : papers()) {
    for (const PaperRow& p : rows) {
      if (p.answer.empty()) continue;
      if (p.topic == "01") {
        ++answered;
        for (char c : p.answer) {
          EXPECT_TRUE(c >= 'a' && c <= 'f') << p.at << ": stored choices are lower-case";
          EXPECT_NE(options[p.tpid].find(static_cast<char>(c - 32)), std::string::npos) << p.at;
        }
      } else if (p.topic == "02") {
        ++answered;
        EXPECT_TRUE(p.answer == "0" || p.answer == "1") << p.at;
      }
    }
  }
  EXPECT_GE(answered, 5) << "pre-selection needs stored answers";
}

TEST_F(DemoPapers, TypingTextsAreAboutThreeHundredCharacters) {
  const SourceTable& t = table("typewrite");
  for (size_t r = 0; r < t.rows.size(); ++r) {
    const size_t n = len16(text(t, r, "tg"));
    EXPECT_GE(n, 270u) << where(t, r);
    EXPECT_LE(n, 330u) << where(t, r);
  }
}

// A Windows file or folder name.
bool isWindowsName(const std::string& name) {
  if (name.empty() || name.back() == ' ' || name.back() == '.') return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 ||
        std::string("<>:\"/|?*").find(c) != std::string::npos) {
      return false;
    }
  }
  return true;
}

TEST_F(DemoPapers, OperationListsBuildTheirTreeParentsFirst) {
  const SourceTable& t = table("Operation");
  for (size_t r = 0; r < t.rows.size(); ++r) {
    SCOPED_TRACE(where(t, r));
    std::set<std::string> made;
    const std::vector<std::string> items = split(text(t, r, "Question"), ",");
    EXPECT_GE(items.size(), 3u);
    for (const std::string& item : items) {
      ASSERT_FALSE(item.empty());
      const bool folder = item.back() == '\\';
      std::vector<std::string> parts = split(folder ? item.substr(0, item.size() - 1) : item, "\\");
      std::string parent;
      for (size_t i = 0; i < parts.size(); ++i) {
        EXPECT_TRUE(isWindowsName(parts[i])) << item;
        if (i + 1 < parts.size()) {
          parent += parts[i] + "\\";
          EXPECT_TRUE(made.count(parent)) << item << ": its folder " << parent << " comes later";
        }
      }
      EXPECT_TRUE(made.insert(item).second) << item << " twice";
    }
    EXPECT_NE(text(t, r, "tg").find("C:\\BqOperation"), std::string::npos);
  }
}

TEST_F(DemoPapers, OfficeQuestionsCarryTheirPackedDocument) {
  const std::map<std::string, std::string> extension = {{"wordtest", ".docx"},
                                                        {"wordtable", ".docx"},
                                                        {"exceltest", ".xlsx"},
                                                        {"powerpoint", ".pptx"}};
  for (const auto& [name, ext] : extension) {
    const SourceTable& t = table(name);
    const size_t fj = *t.columnIndex("fj");
    for (size_t r = 0; r < t.rows.size(); ++r) {
      SCOPED_TRACE(where(t, r));
      const SourceValue& v = t.rows[r][fj];
      ASSERT_TRUE(v.value.is<ByteArray>());
      EXPECT_TRUE(v.storeAsBlocks);
      EXPECT_TRUE(v.file.ends_with(ext)) << v.file;
      const ByteArray& b = v.value.as<ByteArray>();
      ASSERT_GT(b.size(), 4u);
      EXPECT_EQ(std::string(b.begin(), b.begin() + 4), std::string("PK\x03\x04", 4));
    }
  }
}

TEST_F(DemoPapers, EveryTextSurvivesTheAnsiCodePage) {
  // Question texts go to .Tg files and pages in GBK; a character GBK lacks
  // would reach the examinee as "?".
  setenv("BQ_ANSI_CODEPAGE", "936", 1);
  for (const SourceTable& t : source_->tables) {
    for (size_t c = 0; c < t.columns.size(); ++c) {
      if (!t.columns[c].isText()) continue;
      for (size_t r = 0; r < t.rows.size(); ++r) {
        const Variant& v = t.rows[r][c].value;
        if (!v.is<std::string>()) continue;
        EXPECT_EQ(fromAnsi(toAnsi(v.as<std::string>())), v.as<std::string>())
            << where(t, r) << " column " << t.columns[c].name;
      }
    }
  }
}

}  // namespace
}  // namespace bq
