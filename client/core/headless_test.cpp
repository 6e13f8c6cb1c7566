// A whole mock exam for card bq1 on the sealed demo database, driven from a
// file of browser events as a display would deliver them, in a private
// drives folder; and the runner's answers to bad starts and bad events.
#include "client/core/headless.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "client/core/dispatcher.h"
#include "client/core/preparation.h"
#include "client/core/test_drives.h"
#include "common/ansi.h"
#include "common/files.h"

namespace bq::client {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const fs::path kPapers = BQ_DEMO_PAPERS_SRC;

std::string sha256(const std::string& bytes) {
  unsigned char d[crypto_hash_sha256_BYTES];
  crypto_hash_sha256(d, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  std::string hex;
  for (unsigned char b : d) {
    static constexpr char kHex[] = "0123456789abcdef";
    hex += kHex[b >> 4];
    hex += kHex[b & 15];
  }
  return hex;
}

// The listing of a folder: names of files and folders, sorted.
std::vector<std::string> names(const fs::path& dir) {
  std::vector<std::string> out;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    out.push_back(it->path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

class HeadlessExam : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GE(sodium_init(), 0);
    fs::create_directories(program_);
    fs::copy_file(BQ_DEMO_DATABASE, program_ / "BqTest.MDB");
    std::ofstream(program_ / "questionpane.exe", std::ios::binary) << "viewer";
    std::ofstream(program_ / "bq.avi", std::ios::binary) << "RIFF video";
  }

  // Runs the events (one JSON object per element) and keeps the effects.
  int run(const std::vector<json>& events) {
    const fs::path file = drives_.root() / "events.jsonl";
    {
      std::ofstream out(file, std::ios::binary);
      for (const json& e : events) out << e.dump() << '\n';
    }
    std::istringstream in;
    std::ostringstream out, err;
    const int status = runHeadless({program_.string(), file.string()}, in, out, err);
    effects_.clear();
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line);) effects_.push_back(json::parse(line));
    err_ = err.str();
    return status;
  }

  std::string page(const std::string& name) const { return "File://" + program_.string() + "/" + name; }
  std::string windowsPath(const std::string& name) const { return program_.string() + "\\" + name; }

  // The events of a navigation to `name` in the program folder.
  void navigate(std::vector<json>& events, const std::string& name) const {
    events.push_back({{"event", "BeforeNavigate2"}, {"url", page(name)}});
    events.push_back({{"event", "NavigateComplete2"}, {"url", page(name)}, {"locationName", name}});
  }

  std::vector<json> ofKind(const std::string& kind) const {
    std::vector<json> out;
    for (const json& e : effects_)
      if (e["effect"] == kind) out.push_back(e);
    return out;
  }
  // The index of the first effect equal to `effect`, or -1.
  int indexOf(const json& effect) const {
    const auto it = std::find(effects_.begin(), effects_.end(), effect);
    return it == effects_.end() ? -1 : static_cast<int>(it - effects_.begin());
  }

  fs::path work() const { return drives_.drive("c") / "BQTEST"; }

  testsupport::PrivateDrives drives_;
  const fs::path program_ = drives_.root() / "考试 程序";
  std::vector<json> effects_;
  std::string err_;
};

const std::vector<std::string> kSections = {
    "selection.asp", "judgement.asp", "typewrite.asp",  "operation.asp", "wordtest.asp",
    "wordtable.asp", "excel.asp",     "powerpoint.asp", "e_mail.asp",
};

TEST_F(HeadlessExam, WholeMockExamForBq1) {
  std::vector<json> events;
  events.push_back({{"event", "Tick"}, {"timer", "timTimer"}, {"count", 3}});
  events.push_back({{"event", "NavigateComplete2"}, {"url", page("BqLogin.asp")}});
  for (const char* typed : {"B", "BQ", "BQ1"})
    events.push_back({{"event", "StatusTextChange"}, {"activeValue", typed}});
  events.push_back({{"event", "StatusTextChange"}, {"activeValue", "确定"}});
  navigate(events, "StdKnow.asp");
  navigate(events, "Begin.asp");
  for (const std::string& section : kSections) {
    navigate(events, section);
    // The exam clock runs from the choice page on; the typing clock on the typing page.
    events.push_back({{"event", "Tick"}, {"timer", "TimeK"}, {"count", 100}});
    events.push_back({{"event", "Tick"}, {"timer", "timeHz"}, {"count", 50}});
    if (section == "operation.asp") {
      for (int i = 0; i < 2; ++i)
        events.push_back({{"event", "CommandStateChange"},
                          {"activeDefaultValue", std::string(kOpenButtonCaption)},
                          {"locationName", section}});
    }
  }
  navigate(events, "EndTest.asp");
  events.push_back({{"event", "DownloadComplete"}});
  ASSERT_EQ(run(events), 0) << err_;

  EXPECT_TRUE(ofKind("message").empty()) << ofKind("message").at(0).dump();
  // The work folder and the operation root, built through the path mapping.
  const std::vector<std::string> workFiles = {
      "bq.avi",    "emlbq1.Tg", "exbq1.Tg", "exbq1.xls",        "opbq1.Tg",  "pptbq1.Tg",
      "pptbq1.ppt", "questionpane.exe", "wdbq1.Tg", "wdbq1.doc", "wtbq1.Tg", "wtbq1.doc"};
  EXPECT_EQ(names(work()), workFiles);
  EXPECT_FALSE(names(drives_.drive("c") / "BqOperation").empty());
  const std::vector<std::pair<std::string, std::string>> documents = {
      {"wtbq1.doc", "wordtable/scores.docx"}, {"wdbq1.doc", "wordtest/festival.docx"},
      {"exbq1.xls", "exceltest/sales.xlsx"}, {"pptbq1.ppt", "powerpoint/hometown.pptx"}};
  for (const auto& [name, source] : documents)
    EXPECT_EQ(readWholeFile(work() / name), readWholeFile(kPapers / "files" / source)) << name;
  const std::string mail = readWholeFile(work() / "emlbq1.Tg");
  const std::string tail = "\r\n\r\n" + toAnsi(std::string(kServerNameHint) + ComputerNameText());
  EXPECT_EQ(mail.substr(mail.size() - tail.size()), tail);
  // Each prepared file is reported with its hash, under its Windows path.
  for (const std::string& name : workFiles) {
    const json write = {{"effect", "write"},
                        {"path", "C:\\BQTEST\\" + name},
                        {"sha256", sha256(readWholeFile(work() / name))}};
    EXPECT_GE(indexOf(write), 0) << name;
  }

  // Every section page is written before its navigation completes: its write
  // comes before the history update that puts its address on top.
  for (const std::string& section : kSections) {
    const fs::path file = program_ / section;
    ASSERT_TRUE(fs::exists(file)) << section;
    const int written = indexOf({{"effect", "write"},
                                 {"path", windowsPath(section)},
                                 {"sha256", sha256(readWholeFile(file))}});
    int completed = -1;
    for (size_t i = 0; i < effects_.size(); ++i) {
      if (effects_[i]["effect"] == "history" && effects_[i]["entries"][0] == page(section)) {
        completed = static_cast<int>(i);
        break;
      }
    }
    EXPECT_GE(written, 0) << section;
    EXPECT_LT(written, completed) << section;
  }
  // A page carries the times computed when the previous navigation
  // completed: the judgement page those of the choice page's arrival (no
  // ticks yet), the typing page those after 100 exam ticks (the typing clock
  // has not run yet), the operation page those after 200 exam ticks and the
  // 50 typing ticks while the typing page was shown.
  EXPECT_NE(readWholeFile(program_ / "judgement.asp").find("sysj.value=9000<"), std::string::npos);
  EXPECT_NE(readWholeFile(program_ / "typewrite.asp").find("sysj.value=8900;hzsj.value=600;"),
            std::string::npos);
  EXPECT_NE(readWholeFile(program_ / "operation.asp").find("sysj.value=8800<"), std::string::npos);

  // The clocks, switched as the pages say.
  std::vector<std::string> timers;
  for (const json& t : ofKind("timer"))
    timers.push_back(t["name"].get<std::string>() + (t["on"].get<bool>() ? "+" : "-"));
  const std::vector<std::string> expectedTimers = {
      "timTimer+", "timTimer-",           // load, then the first busy tick
      "TimeK-",    "timeHz-",             // Begin.asp
      "TimeK+",    "timeHz-",             // selection.asp
      "timeHz-",                          // judgement.asp
      "timeHz+",                          // typewrite.asp
      "timeHz-",   "timeHz-", "timeHz-",  // operation, wordtest, wordtable
      "timeHz-",   "timeHz-", "timeHz-",  // excel, powerpoint, e_mail
  };
  EXPECT_EQ(timers, expectedTimers);

  // The open button launched once for its two presses.
  std::vector<std::string> commands;
  for (const json& r : ofKind("run")) commands.push_back(r["command"]);
  EXPECT_EQ(commands, (std::vector<std::string>{"Explorer.exe c:\\BqOperation",
                                                "c:\\bqtest\\QuestionPane.exe opbq1.tg"}));

  // The address history holds each address once, the latest first.
  const json history = ofKind("history").back()["entries"];
  EXPECT_EQ(history[0], page("EndTest.asp"));
  EXPECT_EQ(history.size(), 13u);  // the sign-in page is the starting address
  EXPECT_EQ(ofKind("title").back()["text"], kTitleText);

  // Closing the window deletes the nine page files, and the program ends.
  ASSERT_EQ(run({{{"event", "Close"}}, {{"event", "DownloadComplete"}}}), 0);
  std::vector<std::string> deleted;
  for (const json& d : ofKind("delete")) deleted.push_back(d["path"]);
  std::vector<std::string> expectedDeleted;
  for (const char* name : {"selection.asp", "judgement.asp", "typewrite.asp", "operation.asp",
                           "wordtest.asp", "wordtable.asp", "excel.asp", "e_mail.asp",
                           "powerpoint.asp"})
    expectedDeleted.push_back(windowsPath(name));
  EXPECT_EQ(deleted, expectedDeleted);
  EXPECT_EQ(effects_.back(), json({{"effect", "quit"}}));  // nothing runs after the end
  EXPECT_EQ(names(work()), workFiles);  // the work folder stays for the scoring
}

TEST_F(HeadlessExam, InstructionsWithoutACardNumberEndTheProgram) {
  std::vector<json> events;
  events.push_back({{"event", "NavigateComplete2"}, {"url", page("BqLogin.asp")}});
  navigate(events, "StdKnow.asp");
  events.push_back({{"event", "Close"}});
  ASSERT_EQ(run(events), 0) << err_;
  const std::vector<json> messages = ofKind("message");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0]["text"], kNoCardNumberMessage);
  EXPECT_EQ(messages[0]["icon"], "information");
  EXPECT_EQ(effects_.back(), json({{"effect", "quit"}}));
  EXPECT_TRUE(ofKind("delete").empty());  // the program ended before the close
  EXPECT_FALSE(fs::exists(work()));
}

TEST_F(HeadlessExam, ACardNumberWithoutAPaperEndsTheProgramAndChangesNothing) {
  fs::create_directories(work());
  std::ofstream(work() / "earlier.txt") << "kept";
  std::vector<json> events;
  events.push_back({{"event", "NavigateComplete2"}, {"url", page("BqLogin.asp")}});
  events.push_back({{"event", "StatusTextChange"}, {"activeValue", "BQ9"}});
  navigate(events, "StdKnow.asp");
  ASSERT_EQ(run(events), 0) << err_;
  const std::vector<json> messages = ofKind("message");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0]["text"], kUnknownCardMessage);
  EXPECT_EQ(effects_.back(), json({{"effect", "quit"}}));
  EXPECT_EQ(names(work()), std::vector<std::string>{"earlier.txt"});
  EXPECT_FALSE(fs::exists(drives_.drive("c") / "BqOperation"));
}

TEST_F(HeadlessExam, BadEventsAndAMissingDatabaseAreReportedClearly) {
  EXPECT_EQ(run({{{"event", "DownloadComplete"}}, {{"event", "Jump"}}}), 2);
  EXPECT_NE(err_.find("events line 2: unknown event \"Jump\""), std::string::npos) << err_;
  EXPECT_EQ(run({{{"event", "Tick"}, {"timer", "TimeK"}, {"count", -1}}}), 2);
  EXPECT_NE(err_.find("events line 1:"), std::string::npos) << err_;
  EXPECT_EQ(run({{{"event", "BeforeNavigate2"}}}), 2);
  EXPECT_NE(err_.find("missing \"url\""), std::string::npos) << err_;

  fs::remove(program_ / "BqTest.MDB");
  EXPECT_EQ(run({{{"event", "Close"}}}), 1);
  ASSERT_EQ(effects_.size(), 1u);
  EXPECT_EQ(effects_[0]["effect"], "message");
  EXPECT_EQ(effects_[0]["icon"], "critical");
}

}  // namespace
}  // namespace bq::client
