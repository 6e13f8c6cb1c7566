// FileDownLoad, FileUpLoad and the transfer routines against the real FTP
// servers of the ftp fixture (pyftpdlib on 127.0.0.1), on drives in a
// temporary folder. The program runs in a process namespace of its own
// (webcom/testing/own_processes.h): FileUpLoad ends every LibreOffice it can
// see, and must see only the stand-ins these tests start.
#include "webcom/ftp_transfer.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "common/automation_error.h"
#include "platform/ftp/testing/test_servers.h"
#include "webcom/frm_ftp.h"
#include "webcom/test_sleeper.h"
#include "webcom/testing/own_processes.h"

namespace bq {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Texts = std::vector<std::string>;

using ftp::testing::slurp;
using ftp::testing::spit;

// A question text in GBK: "请将表格第一行合并。" and CR LF.
const std::string kQuestionText =
    "\xC7\xEB\xBD\xAB\xB1\xED\xB8\xF1\xB5\xDA\xD2\xBB\xD0\xD0\xBA\xCF\xB2\xA2\xA1\xA3\r\n";

class Transfers : public ::testing::Test {
 protected:
  void SetUp() override {
    servers_ = ftp::testing::TestServers::fromEnvironment();
    const std::string name =
        std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
        std::to_string(getpid());
    cServer_ = "exam-" + name;
    fs::create_directories(servers_.root / cServer_);
    dir_ = fs::temp_directory_path() / ("bq-webcom-ftp-" + name);
    fs::create_directories(dir_);
    setenv("BQ_DRIVES", (dir_ / "drives").c_str(), 1);
    c_ = dir_ / "drives" / "c";
    fs::create_directories(c_ / "BqOperation");
    cPort_ = std::to_string(servers_.port);
    SetTransferObserver([this](const std::string& op) { operations_.push_back(op); });
  }
  void TearDown() override {
    SetTransferObserver(nullptr);
    unsetenv("BQ_DRIVES");
    unsetenv("BQ_FTP_TIMEOUT");
    fs::remove_all(dir_);
    fs::remove_all(servers_.root / cServer_);
  }

  fs::path onServer(const std::string& name) const { return servers_.root / cServer_ / name; }

  void download(std::string cFlag, std::string cClient = "C:\\BqOperation",
                std::string cID = "BQ1") {
    std::string ip = "127.0.0.1", port = cPort_, server = cServer_;
    FileDownLoad(ip, port, server, cClient, cID, cFlag);
  }

  // FileUpLoad; cClient as the call leaves it.
  std::string upload(std::string cFlag, std::string cClient = "C:\\BqOperation",
                     std::string cID = "BQ1") {
    std::string ip = "127.0.0.1", port = cPort_, server = cServer_;
    FileUpLoad(ip, port, server, cClient, cID, cFlag);
    return cClient;
  }

  Texts gets(const Texts& names, const std::string& client = "C:\\BqOperation") const {
    Texts out;
    for (const auto& n : names) out.push_back("GET " + cServer_ + n + " " + client + n);
    return out;
  }

  ftp::testing::TestServers servers_;
  std::string cServer_;
  std::string cPort_;
  fs::path dir_;
  fs::path c_;
  Texts operations_;
};

// --- FileDownLoad ------------------------------------------------------------

TEST_F(Transfers, OneKindFetchesDocumentTextVideoAndViewerInOrderAndNeverAgain) {
  spit(onServer("wdBQ1.doc"), "doc bytes");
  spit(onServer("wdBQ1.tg"), kQuestionText);
  spit(onServer("BQ.AVI"), "avi");
  spit(onServer("QuestionPane.Exe"), "exe");
  download("010000");
  EXPECT_EQ(operations_, gets({"\\wdBQ1.doc", "\\wdBQ1.tg", "\\BQ.AVI", "\\QuestionPane.Exe"}));
  EXPECT_EQ(slurp(c_ / "BqOperation" / "wdBQ1.doc"), "doc bytes");
  EXPECT_EQ(slurp(c_ / "BqOperation" / "wdBQ1.tg"), kQuestionText) << "byte for byte";
  EXPECT_EQ(slurp(c_ / "BqOperation" / "QuestionPane.Exe"), "exe");
  EXPECT_FALSE(FrmFTP::ThisThread().IsLoaded()) << "each completed transfer unloads the window";

  // An existing local file is never fetched again, whatever it holds.
  spit(c_ / "BqOperation" / "wdBQ1.doc", "edited by the examinee");
  fs::remove(c_ / "BqOperation" / "BQ.AVI");
  operations_.clear();
  download("010000");
  EXPECT_EQ(operations_, gets({"\\BQ.AVI"}));
  EXPECT_EQ(slurp(c_ / "BqOperation" / "wdBQ1.doc"), "edited by the examinee");
}

TEST_F(Transfers, EveryKindInTheOrderOfTheFlag) {
  download("111111", "C:\\BqOperation", "bq2");
  EXPECT_EQ(operations_, gets({"\\wtbq2.doc", "\\wtbq2.tg", "\\wdbq2.doc", "\\wdbq2.tg",
                               "\\exbq2.xls", "\\exbq2.tg", "\\pptbq2.ppt", "\\pptbq2.tg",
                               "\\emlbq2.tg", "\\opbq2.tg", "\\BQ.AVI", "\\QuestionPane.Exe"}));
}

TEST_F(Transfers, SixZerosFetchOnlyTheVideoAndTheViewerAndOtherLengthsNothing) {
  spit(onServer("BQ.AVI"), "avi");
  for (const char* flag : {"00000", "0000000", "", "11111", "1111111"}) {
    download(flag);
    EXPECT_TRUE(operations_.empty()) << "cFlag \"" << flag << "\"";
  }
  download("000000");
  EXPECT_EQ(operations_, gets({"\\BQ.AVI", "\\QuestionPane.Exe"}));
  // The viewer is missing on the server: nothing of it is left locally.
  EXPECT_EQ(slurp(c_ / "BqOperation" / "BQ.AVI"), "avi");
  Texts names;
  for (const auto& e : fs::directory_iterator(c_ / "BqOperation")) {
    names.push_back(e.path().filename());
  }
  EXPECT_EQ(names, Texts{"BQ.AVI"});
}

TEST_F(Transfers, AMissingRemoteFileIsPassedOverAndTheNextOneComes) {
  spit(onServer("exBQ1.tg"), kQuestionText);
  download("001000");
  EXPECT_EQ(operations_.size(), 4u);
  EXPECT_FALSE(fs::exists(c_ / "BqOperation" / "exBQ1.xls"));
  EXPECT_EQ(slurp(c_ / "BqOperation" / "exBQ1.tg"), kQuestionText);
  EXPECT_FALSE(FrmFTP::ThisThread().IsLoaded());
}

TEST_F(Transfers, APortThatIsNoNumberFailsEveryTransferAtOnce) {
  spit(onServer("BQ.AVI"), "avi");
  cPort_ = "twenty-one";
  const auto start = Clock::now();
  download("111111");
  EXPECT_EQ(operations_.size(), 0u) << "no operation is executed";
  upload("111111");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
  EXPECT_FALSE(fs::exists(c_ / "BqOperation" / "BQ.AVI"));
  EXPECT_TRUE(fs::exists(c_ / "BqOperation" / "opBQ1.txt")) << "the listing is still written";
  EXPECT_FALSE(FtpGetFile("127.0.0.1", "", cServer_ + "\\BQ.AVI", "C:\\BqOperation\\BQ.AVI"));
  EXPECT_FALSE(FrmFTP::ThisThread().IsLoaded());
}

TEST_F(Transfers, AServerThatNeverAnswersEndsTheTransferWithinTheBound) {
  ftp::testing::SilentServer silent;
  setenv("BQ_FTP_TIMEOUT", "1", 1);
  const auto start = Clock::now();
  EXPECT_FALSE(FtpGetFile("127.0.0.1", std::to_string(silent.port()), "exam\\BQ.AVI",
                          "C:\\BqOperation\\BQ.AVI"));
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(fs::is_empty(c_ / "BqOperation")) << "no partial file";
  EXPECT_FALSE(FrmFTP::ThisThread().IsLoaded());
  EXPECT_FALSE(ThisThreadTransferFlags().TransferDone);
}

TEST_F(Transfers, TransferRoutinesAnswerTrueOnCompletion) {
  spit(onServer("a b.tg"), "spaced");
  EXPECT_FALSE(FtpGetFile("127.0.0.1", cPort_, cServer_ + "\\a b.tg", "C:\\My Files\\a b.tg"))
      << "a missing local folder fails";
  fs::create_directories(c_ / "My Files");
  operations_.clear();
  EXPECT_TRUE(
      FtpGetFile("127.0.0.1", " " + cPort_ + ".0 ", cServer_ + "\\a b.tg", "C:\\My Files\\a b.tg"));
  EXPECT_EQ(operations_, Texts{"GET \"" + cServer_ + "\\a b.tg\" \"C:\\My Files\\a b.tg\""});
  EXPECT_EQ(slurp(c_ / "My Files" / "a b.tg"), "spaced");
  EXPECT_TRUE(FtpPutFile("127.0.0.1", cPort_, "C:\\My Files\\a b.tg", cServer_ + "\\back.tg"));
  EXPECT_EQ(slurp(onServer("back.tg")), "spaced");
}

TEST(PortNumber, TextsAsThePortConversionReadsThem) {
  const std::vector<std::pair<const char*, int>> ok = {
      {"21", 21},       {" 2121 ", 2121}, {"+21", 21},      {"21.5", 22},     {"22.5", 22},
      {"65535", 65535}, {"0", 0},         {"\t8021", 8021}, {"40000", 40000},
  };
  for (const auto& [text, port] : ok) EXPECT_EQ(PortNumber(text), port) << text;
  const std::vector<std::pair<const char*, int32_t>> bad = {
      {"", err::kTypeMismatch},     {"abc", err::kTypeMismatch}, {"2 1", err::kTypeMismatch},
      {"0x15", err::kTypeMismatch}, {"1e3", err::kTypeMismatch}, {".", err::kTypeMismatch},
      {"65536", err::kOverflow},    {"-1", err::kOverflow},      {"99999999999", err::kOverflow},
  };
  for (const auto& [text, number] : bad) {
    int32_t got = 0;
    try {
      PortNumber(text);
    } catch (const AutomationError& e) {
      got = e.number();
    }
    EXPECT_EQ(got, number) << text;
  }
}

// --- FileUpLoad --------------------------------------------------------------

TEST_F(Transfers, UploadEndsOfficeSendsTheDocumentsAndTheListingOfTheDrivesRoot) {
  if (!testing::ownProcessesWhyNot().empty()) GTEST_SKIP() << testing::ownProcessesWhyNot();
  const fs::path d = dir_ / "drives" / "d";
  spit(d / "answers" / "wtBQ1.doc", "table answer");
  spit(d / "answers" / "exBQ1.xls", "sheet answer");
  spit(d / "answers" / "wdBQ1.doc", "not selected");
  spit(d / "BqOperation" / "a" / "b.txt", "");
  spit(d / "BqOperation" / "c.txt", "");
  spit(d / "BqOperation" / ".hidden", "");
  Sleeper calc(dir_, "soffice.bin");
  Sleeper excel(dir_, "EXCEL.EXE");

  const std::string cClient = upload("101100", "D:\\answers");
  EXPECT_TRUE(calc.wasKilled());
  EXPECT_TRUE(excel.wasKilled());
  EXPECT_EQ(cClient, "D:\\BqOperation");
  EXPECT_EQ(operations_, (Texts{"Put D:\\answers\\wtBQ1.doc " + cServer_ + "\\wtBQ1.doc",
                                "Put D:\\answers\\exBQ1.xls " + cServer_ + "\\exBQ1.xls",
                                "Put D:\\BqOperation\\opBQ1.txt " + cServer_ + "\\opBQ1.txt"}));
  EXPECT_EQ(slurp(onServer("wtBQ1.doc")), "table answer");
  EXPECT_EQ(slurp(onServer("exBQ1.xls")), "sheet answer");
  EXPECT_EQ(slurp(d / "BqOperation" / "opBQ1.txt"), "a\\,c.txt,a\\b.txt\r\n");
  EXPECT_EQ(slurp(onServer("opBQ1.txt")), "a\\,c.txt,a\\b.txt\r\n");

  // A second upload lists the listing the first one wrote.
  operations_.clear();
  EXPECT_EQ(upload("000000", cClient), "D:\\BqOperation");
  EXPECT_EQ(operations_, Texts{"Put D:\\BqOperation\\opBQ1.txt " + cServer_ + "\\opBQ1.txt"});
  EXPECT_EQ(slurp(onServer("opBQ1.txt")), "a\\,c.txt,opBQ1.txt,a\\b.txt\r\n");
}

TEST_F(Transfers, UploadWithSixZerosStillEndsOfficeAndSendsTheListing) {
  if (!testing::ownProcessesWhyNot().empty()) GTEST_SKIP() << testing::ownProcessesWhyNot();
  spit(c_ / "BqOperation" / "wdBQ1.doc", "x");
  Sleeper word(dir_, "WINWORD.EXE");
  Sleeper other(dir_, "WORD.EXE");
  upload("000000");
  EXPECT_TRUE(word.wasKilled());
  EXPECT_TRUE(other.running());
  EXPECT_EQ(operations_, Texts{"Put C:\\BqOperation\\opBQ1.txt " + cServer_ + "\\opBQ1.txt"});
  EXPECT_EQ(slurp(onServer("opBQ1.txt")), "wdBQ1.doc\r\n");
  EXPECT_FALSE(fs::exists(onServer("wdBQ1.doc")));
}

TEST_F(Transfers, UploadWithAnotherLengthOfFlagDoesNothing) {
  if (!testing::ownProcessesWhyNot().empty()) GTEST_SKIP() << testing::ownProcessesWhyNot();
  Sleeper calc(dir_, "soffice.bin");
  EXPECT_EQ(upload("10000", "D:\\answers"), "D:\\answers");
  EXPECT_EQ(upload("1000000", "D:\\answers"), "D:\\answers");
  EXPECT_TRUE(calc.running());
  EXPECT_TRUE(operations_.empty());
  EXPECT_FALSE(fs::exists(c_ / "BqOperation" / "opBQ1.txt"));
}

// --- The local side stays on the drives ---------------------------------------

// Either method refuses, with 75 and before anything happens, a local side off
// the mapped drives: a POSIX folder, a share, a link out of a drive (at the
// folder, at a document, at the operation root), and a paper identifier that
// would make a file name into a path.
TEST_F(Transfers, LocalPathsOffTheDrivesAreRefusedBeforeAnything) {
  if (!testing::ownProcessesWhyNot().empty()) GTEST_SKIP() << testing::ownProcessesWhyNot();
  const fs::path victim = dir_ / "victim";
  spit(victim / "victim.doc", "private");
  spit(victim / "wtBQ1.doc", "private");
  fs::create_directory_symlink(victim, c_ / "away");
  fs::create_directories(c_ / "answers");
  fs::create_symlink(victim / "victim.doc", c_ / "answers" / "wdBQ1.doc");
  const fs::path d = dir_ / "drives" / "d";
  fs::create_directories(d / "answers");
  fs::create_directory_symlink(victim, d / "BqOperation");
  for (const char* name : {"victim.doc", "wtBQ1.doc", "BQ.AVI", "QuestionPane.Exe"}) {
    spit(onServer(name), "from the server");
  }
  Sleeper calc(dir_, "soffice.bin");

  struct Case {
    std::string cClient;
    std::string cID;
  };
  // A cClient that names no drive at all keeps FileUpLoad's own failure
  // (UploadFromNoDriveSendsNothingAndFailsAfterChangingTheFolderText).
  const std::vector<Case> cases = {
      {victim.string(), "BQ1"},
      {"\\\\host\\share", "BQ1"},
      {victim.string(), "/../victim"},
      {"relative\\folder", "BQ1"},
      {"C:\\away", "BQ1"},
      {"C:\\away\\", "BQ1"},
      {"C:\\answers", "/../../away/victim"},
      {"C:\\answers", "\\..\\away\\victim"},
      {"C:\\answers", ".."},
      {"C:\\answers", "BQ1\\x"},
      {"C:\\answers", std::string("BQ1\0x", 5)},
      {std::string("C:\\answers\0", 11), "BQ1"},
      {"C:\\answers", "BQ1"},  // the link at wdBQ1.doc
      {"D:\\answers", "BQ1"},  // the operation root is a link out of the drive
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("cClient \"" + c.cClient + "\" cID \"" + c.cID + "\"");
    for (const char* method : {"FileDownLoad", "FileUpLoad"}) {
      SCOPED_TRACE(method);
      const bool download = std::string(method) == "FileDownLoad";
      // The operation root is not FileDownLoad's business.
      if (download && c.cClient == "D:\\answers") continue;
      const bool noDrive = !std::isalpha(static_cast<unsigned char>(c.cClient[0]));
      if (!download && noDrive && c.cID == "BQ1") continue;
      std::string ip = "127.0.0.1", port = cPort_, server = cServer_, client = c.cClient,
                  id = c.cID, flag = "110000";
      int32_t number = 0;
      try {
        if (download) {
          FileDownLoad(ip, port, server, client, id, flag);
        } else {
          FileUpLoad(ip, port, server, client, id, flag);
        }
      } catch (const AutomationError& e) {
        number = e.number();
      }
      EXPECT_EQ(number, err::kPathFileAccess);
      EXPECT_EQ(client, c.cClient) << "cClient as it was";
      EXPECT_TRUE(operations_.empty()) << operations_.front();
      operations_.clear();
    }
  }
  EXPECT_TRUE(calc.running()) << "no program was ended";
  EXPECT_EQ(slurp(victim / "victim.doc"), "private");
  EXPECT_EQ(slurp(victim / "wtBQ1.doc"), "private");
  Texts names;
  for (const auto& e : fs::directory_iterator(victim)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (Texts{"victim.doc", "wtBQ1.doc"})) << "nothing fetched into it";
  EXPECT_EQ(slurp(onServer("victim.doc")), "from the server") << "nothing sent";
  EXPECT_FALSE(fs::exists(onServer("wdBQ1.doc")));
  EXPECT_FALSE(fs::exists(onServer("opBQ1.txt")));
}

// A cClient that names no drive has no operation root: FileUpLoad fails as it
// always did, after changing cClient, but sends nothing from that folder.
TEST_F(Transfers, UploadFromNoDriveSendsNothingAndFailsAfterChangingTheFolderText) {
  if (!testing::ownProcessesWhyNot().empty()) GTEST_SKIP() << testing::ownProcessesWhyNot();
  const fs::path answers = dir_ / "answers";
  spit(answers / "wtBQ1.doc", "private");
  for (const auto& [cClient, changed] :
       std::vector<std::pair<std::string, std::string>>{{"\\\\host\\share", "\\:\\BqOperation"},
                                                        {answers.string(), "/:\\BqOperation"},
                                                        {"", ":\\BqOperation"}}) {
    std::string ip = "127.0.0.1", port = cPort_, server = cServer_, client = cClient, id = "BQ1",
                flag = "100000";
    int32_t number = 0;
    try {
      FileUpLoad(ip, port, server, client, id, flag);
    } catch (const AutomationError& e) {
      number = e.number();
    }
    EXPECT_EQ(number, err::kPathNotFound) << cClient;
    EXPECT_EQ(client, changed);
  }
  EXPECT_TRUE(operations_.empty());
  EXPECT_FALSE(fs::exists(onServer("wtBQ1.doc")));
}

// The operation text must read back as the two paths: a quote in a path would
// make the control act on another file than the one named.
TEST_F(Transfers, AnOperationTextThatDoesNotReadBackIsRefused) {
  spit(onServer("a.tg"), "a");
  EXPECT_FALSE(FtpGetFile("127.0.0.1", cPort_, cServer_ + "\\a.tg", "\"C:\\BqOperation\\a.tg\""));
  EXPECT_TRUE(operations_.empty());
  EXPECT_TRUE(fs::is_empty(c_ / "BqOperation"));
  EXPECT_FALSE(FrmFTP::ThisThread().IsLoaded());
}

// A server that trickles its files (about 100 bytes a second) holds each
// transfer only for the period of BQ_FTP_TIMEOUT; no partial file is left.
TEST_F(Transfers, ATricklingServerHoldsEachFileOnlyForTheBound) {
  ftp::testing::OwnServer trickle(servers_, "trickle");
  spit(onServer("BQ.AVI"), std::string(4000, 'v'));
  spit(onServer("QuestionPane.Exe"), std::string(4000, 'x'));
  setenv("BQ_FTP_TIMEOUT", "1", 1);
  cPort_ = std::to_string(trickle.port());
  const auto start = Clock::now();
  download("000000");
  EXPECT_EQ(operations_.size(), 2u);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(12));
  EXPECT_TRUE(fs::is_empty(c_ / "BqOperation"));
}

// --- Through bqcall, as a shell caller uses the class --------------------------

TEST_F(Transfers, BqcallReportsEveryArgumentAfterTheCall) {
  if (!testing::ownProcessesWhyNot().empty()) GTEST_SKIP() << testing::ownProcessesWhyNot();
  spit(onServer("eml7.tg"), kQuestionText);
  spit(c_ / "BqOperation" / "x.txt", "");
  auto run = [&](const std::string& method) {
    const std::string cmd = std::string(BQCALL_PATH) + " BQCOM " + method + " 127.0.0.1 " + cPort_ +
                            " '" + cServer_ + "' 'C:\\BqOperation\\' 7 000010 >'" +
                            (dir_ / "out").string() + "'";
    const int status = std::system(cmd.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << cmd;
    return nlohmann::json::parse(slurp(dir_ / "out"));
  };
  nlohmann::json j = run("FileDownLoad");
  EXPECT_TRUE(j["result"].is_null());
  EXPECT_EQ(j["args"]["cClient"], "C:\\BqOperation\\");
  EXPECT_EQ(j["args"]["cFlag"], "000010");
  EXPECT_EQ(slurp(c_ / "BqOperation" / "eml7.tg"), kQuestionText);

  j = run("FileUpLoad");
  EXPECT_EQ(j["args"]["cClient"], "C:\\BqOperation");
  EXPECT_EQ(j["args"]["cPort"], cPort_);
  EXPECT_EQ(slurp(onServer("op7.txt")), "eml7.tg,x.txt\r\n");
}

}  // namespace
}  // namespace bq

int main(int argc, char** argv) { return bq::testing::mainInOwnProcesses(argc, argv); }
