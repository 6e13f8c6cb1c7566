// The transfer control against real FTP servers on 127.0.0.1 (pyftpdlib,
// started by the ftp fixture, or by the test itself where it aborts transfers
// or moves large files), and against one that never answers.
#include "platform/ftp/inet.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/automation_error.h"
#include "platform/ftp/testing/test_servers.h"

namespace bq::ftp {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using testing::slurp;
using testing::spit;

std::string randomBytes(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

// "中文内容" and a CR LF, in GBK, then every byte value once.
std::string chineseAndEveryByte() {
  std::string s = "\xD6\xD0\xCE\xC4\xC4\xDA\xC8\xDD\r\n";
  for (int b = 0; b < 256; ++b) s += static_cast<char>(b);
  return s;
}

class Inet : public ::testing::Test {
 protected:
  void SetUp() override {
    servers_ = testing::TestServers::fromEnvironment();
    const std::string name =
        std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) + "-" +
        std::to_string(getpid());
    remoteDir_ = name;
    fs::create_directories(servers_.root / remoteDir_);
    local_ = fs::temp_directory_path() / ("bq-inet-" + name);
    fs::create_directories(local_);
    inet_.RemoteHost = "127.0.0.1";
    inet_.RemotePort = servers_.port;
    inet_.StateChanged = [this](int16_t s) {
      states_.push_back(s);
      threads_.push_back(std::this_thread::get_id());
    };
  }
  void TearDown() override {
    unsetenv("BQ_FTP_TIMEOUT");
    unsetenv("BQ_FTP_MAX_MIB");
    fs::remove_all(local_);
    fs::remove_all(servers_.root / remoteDir_);
  }

  // Runs the current operation until it ends (bounded); its last state.
  int16_t finish(std::chrono::seconds bound = std::chrono::seconds(60)) {
    const auto until = Clock::now() + bound;
    while (inet_.StillExecuting() && Clock::now() < until) {
      inet_.ProcessEvents(std::chrono::milliseconds(50));
    }
    inet_.ProcessEvents(std::chrono::milliseconds(0));
    return states_.empty() ? icNone : states_.back();
  }

  std::string remote(const std::string& name) const { return remoteDir_ + "\\" + name; }
  fs::path onServer(const std::string& name) const { return servers_.root / remoteDir_ / name; }

  // The names in the local folder (temporary files included).
  std::vector<std::string> localNames() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(local_)) out.push_back(e.path().filename());
    return out;
  }

  testing::TestServers servers_;
  std::string remoteDir_;
  fs::path local_;
  InternetTransfer inet_;
  std::vector<int16_t> states_;
  std::vector<std::thread::id> threads_;
};

TEST_F(Inet, GetFetchesTheWholeFileAndReportsOnTheCallingThread) {
  spit(onServer("wdBQ1.doc"), chineseAndEveryByte());
  inet_.Execute("", "GET " + remote("wdBQ1.doc") + " " + (local_ / "wdBQ1.doc").string());
  EXPECT_TRUE(inet_.StillExecuting());
  EXPECT_EQ(finish(), icResponseCompleted) << inet_.ResponseInfo();
  EXPECT_EQ(states_, (std::vector<int16_t>{icConnecting, icConnected, icResponseCompleted}));
  for (auto id : threads_) EXPECT_EQ(id, std::this_thread::get_id());
  EXPECT_EQ(slurp(local_ / "wdBQ1.doc"), chineseAndEveryByte());
  EXPECT_EQ(localNames(), std::vector<std::string>{"wdBQ1.doc"});
  EXPECT_EQ(inet_.ResponseInfo(), "");
}

TEST_F(Inet, PutSendsTheWholeFileUnderTheRemoteName) {
  spit(local_ / "ex.xls", chineseAndEveryByte());
  inet_.Execute("", "Put " + (local_ / "ex.xls").string() + " " + remote("exBQ1.xls"));
  EXPECT_EQ(finish(), icResponseCompleted) << inet_.ResponseInfo();
  EXPECT_EQ(slurp(onServer("exBQ1.xls")), chineseAndEveryByte());
}

TEST_F(Inet, AMissingRemoteFileIsAnErrorAndLeavesNoLocalFile) {
  inet_.Execute("", "GET " + remote("missing.doc") + " " + (local_ / "missing.doc").string());
  EXPECT_EQ(finish(), icError);
  EXPECT_EQ(inet_.ResponseCode(), 550);
  EXPECT_NE(inet_.ResponseInfo(), "");
  EXPECT_TRUE(localNames().empty()) << "no file, no temporary file";

  // Nor does it touch a file already there.
  spit(local_ / "keep.doc", "old");
  inet_.Execute("", "GET " + remote("missing.doc") + " " + (local_ / "keep.doc").string());
  EXPECT_EQ(finish(), icError);
  EXPECT_EQ(slurp(local_ / "keep.doc"), "old");
  EXPECT_EQ(localNames(), std::vector<std::string>{"keep.doc"});
}

TEST_F(Inet, AServerThatNeverAnswersEndsInAnErrorWithinTheBound) {
  testing::SilentServer silent;
  setenv("BQ_FTP_TIMEOUT", "1", 1);
  inet_.RemotePort = silent.port();
  const auto start = Clock::now();
  inet_.Execute("", "GET " + remote("x.doc") + " " + (local_ / "x.doc").string());
  EXPECT_EQ(finish(std::chrono::seconds(20)), icError);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(states_.front(), icConnecting);
  EXPECT_TRUE(localNames().empty());
}

TEST_F(Inet, AServerThatRefusesPassiveModeIsServedInActiveMode) {
  inet_.RemotePort = servers_.noPassivePort;
  spit(onServer("wt.tg"), "passive refused");
  inet_.Execute("", "GET " + remote("wt.tg") + " " + (local_ / "wt.tg").string());
  EXPECT_EQ(finish(), icResponseCompleted) << inet_.ResponseInfo();
  EXPECT_EQ(slurp(local_ / "wt.tg"), "passive refused");

  states_.clear();
  inet_.Execute("", "PUT " + (local_ / "wt.tg").string() + " " + remote("back.tg"));
  EXPECT_EQ(finish(), icResponseCompleted) << inet_.ResponseInfo();
  EXPECT_EQ(slurp(onServer("back.tg")), "passive refused");
}

// A server of its own: a large transfer on the shared servers' event loop
// would hold up the tests that run beside it.
TEST_F(Inet, FiftyMebibytesBothWays) {
  testing::OwnServer own(servers_, "normal");
  inet_.RemotePort = own.port();
  const std::string big = randomBytes(50u << 20, 7);
  spit(onServer("big.avi"), big);
  inet_.Execute("", "GET " + remote("big.avi") + " " + (local_ / "big.avi").string());
  EXPECT_EQ(finish(), icResponseCompleted) << inet_.ResponseInfo();
  EXPECT_TRUE(slurp(local_ / "big.avi") == big);

  inet_.Execute("", "PUT " + (local_ / "big.avi").string() + " " + remote("back.avi"));
  EXPECT_EQ(finish(), icResponseCompleted) << inet_.ResponseInfo();
  EXPECT_TRUE(slurp(onServer("back.avi")) == big);
}

// Aborted transfers run against a server of their own: pyftpdlib can leave a
// connection that another client then gets unwatched (the file descriptor's
// number taken again), and that client would wait for an answer in vain.
TEST_F(Inet, CancelEndsTheFetchAndLeavesNoFile) {
  testing::OwnServer own(servers_, "normal");
  inet_.RemotePort = own.port();
  spit(onServer("big.avi"), randomBytes(20u << 20, 3));
  inet_.Execute("", "GET " + remote("big.avi") + " " + (local_ / "big.avi").string());
  for (int i = 0; i < 5; ++i) inet_.ProcessEvents(std::chrono::milliseconds(20));
  inet_.Cancel();
  EXPECT_FALSE(inet_.StillExecuting());
  const size_t delivered = states_.size();
  inet_.ProcessEvents(std::chrono::milliseconds(20));
  EXPECT_EQ(states_.size(), delivered) << "nothing after a cancel";
  EXPECT_TRUE(localNames().empty());
}

TEST_F(Inet, AHandlerMayDestroyTheControl) {
  testing::OwnServer own(servers_, "normal");
  spit(onServer("a.tg"), "a");
  auto owned = std::make_unique<InternetTransfer>();
  owned->RemoteHost = "127.0.0.1";
  owned->RemotePort = own.port();
  InternetTransfer* control = owned.get();
  std::vector<int16_t> seen;
  owned->StateChanged = [&](int16_t s) {
    seen.push_back(s);
    if (s == icConnecting) owned.reset();  // as unloading the window does
  };
  control->Execute("", "GET " + remote("a.tg") + " " + (local_ / "a.tg").string());
  control->ProcessEvents(std::chrono::milliseconds(10));
  EXPECT_EQ(owned, nullptr);
  EXPECT_EQ(seen, std::vector<int16_t>{icConnecting});
  EXPECT_TRUE(localNames().empty());
}

// A server that sends a file at about 100 bytes a second never falls silent
// for a whole period, yet would hold the caller for ever: under 1 KiB a
// second over the wait bound ends the fetch.
TEST_F(Inet, ATricklingServerEndsInAnErrorWithinTheBound) {
  testing::OwnServer trickle(servers_, "trickle");
  spit(onServer("BQ.AVI"), randomBytes(4000, 5));
  setenv("BQ_FTP_TIMEOUT", "1", 1);
  inet_.RemotePort = trickle.port();
  const auto start = Clock::now();
  inet_.Execute("", "GET " + remote("BQ.AVI") + " " + (local_ / "BQ.AVI").string());
  EXPECT_EQ(finish(std::chrono::seconds(20)), icError);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(8));
  EXPECT_NE(inet_.ResponseInfo(), "");
  EXPECT_TRUE(localNames().empty()) << "the temporary file is gone";
}

// No file past BQ_FTP_MAX_MIB moves: a fetch ends when the server announces
// a larger size, or, from a server that announces none, at the first byte
// past the bound; a larger file is not sent at all.
TEST_F(Inet, FilesPastTheSizeBoundDoNotMove) {
  testing::OwnServer normal(servers_, "normal");
  testing::OwnServer trickle(servers_, "trickle");
  inet_.RemotePort = normal.port();
  setenv("BQ_FTP_MAX_MIB", "0.5", 1);
  spit(onServer("bound.avi"), randomBytes(512u << 10, 1));
  spit(onServer("past.avi"), randomBytes((512u << 10) + 1, 2));
  inet_.Execute("", "GET " + remote("bound.avi") + " " + (local_ / "bound.avi").string());
  EXPECT_EQ(finish(), icResponseCompleted) << inet_.ResponseInfo();
  inet_.Execute("", "GET " + remote("past.avi") + " " + (local_ / "past.avi").string());
  EXPECT_EQ(finish(), icError);
  EXPECT_NE(inet_.ResponseInfo().find("is larger than 512 KiB"), std::string::npos)
      << inet_.ResponseInfo();
  EXPECT_EQ(localNames(), std::vector<std::string>{"bound.avi"});

  setenv("BQ_FTP_MAX_MIB", "0.0001", 1);  // 104 bytes
  spit(onServer("unannounced.tg"), randomBytes(1000, 3));
  inet_.RemotePort = trickle.port();
  const auto start = Clock::now();
  inet_.Execute("", "GET " + remote("unannounced.tg") + " " + (local_ / "u.tg").string());
  EXPECT_EQ(finish(), icError);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(8));
  EXPECT_EQ(inet_.ResponseInfo(), "Out of memory (the file fetched '" + remote("unannounced.tg") +
                                      "' is larger than 104 bytes)");
  EXPECT_EQ(localNames(), std::vector<std::string>{"bound.avi"});

  setenv("BQ_FTP_MAX_MIB", "0.5", 1);
  spit(local_ / "past.xls", randomBytes((512u << 10) + 1, 4));
  int32_t number = 0;
  try {
    inet_.Execute("", "PUT " + (local_ / "past.xls").string() + " " + remote("past.xls"));
  } catch (const AutomationError& e) {
    number = e.number();
  }
  EXPECT_EQ(number, err::kOutOfMemory);
  EXPECT_FALSE(inet_.StillExecuting());
  EXPECT_FALSE(fs::exists(onServer("past.xls")));
  unsetenv("BQ_FTP_MAX_MIB");
}

TEST_F(Inet, ExecuteRefusesWhatItCannotStart) {
  spit(onServer("a.tg"), "a");
  const std::string get = "GET " + remote("a.tg") + " " + (local_ / "a.tg").string();
  struct Case {
    const char* what;
    std::string host;
    uint16_t port;
    int16_t protocol;
    std::string url;
    std::string operation;
    int32_t number;
  };
  const std::vector<Case> cases = {
      {"no host", "", servers_.port, icFTP, "", get, kInvalidPropertyValue},
      {"a host that would change the URL", "127.0.0.1/x@y", servers_.port, icFTP, "", get,
       kInvalidPropertyValue},
      {"port 0", "127.0.0.1", 0, icFTP, "", get, kInvalidPropertyValue},
      {"HTTP", "127.0.0.1", servers_.port, icHTTP, "", get, kInvalidPropertyValue},
      {"a URL argument", "127.0.0.1", servers_.port, icFTP, "ftp://127.0.0.1/", get,
       kInvalidPropertyValue},
      {"another verb", "127.0.0.1", servers_.port, icFTP, "", "DELETE " + remote("a.tg"),
       err::kInvalidCall},
      {"one path", "127.0.0.1", servers_.port, icFTP, "", "GET " + remote("a.tg"),
       err::kInvalidCall},
      {"an unclosed quote", "127.0.0.1", servers_.port, icFTP, "", "GET \"a b", err::kInvalidCall},
      {"a missing local file", "127.0.0.1", servers_.port, icFTP, "",
       "PUT " + (local_ / "none.doc").string() + " x", err::kFileNotFound},
      {"a missing local folder", "127.0.0.1", servers_.port, icFTP, "",
       "GET " + remote("a.tg") + " " + (local_ / "none" / "a.tg").string(), err::kPathNotFound},
      {"a folder to send", "127.0.0.1", servers_.port, icFTP, "", "PUT " + local_.string() + " x",
       err::kPathFileAccess},
  };
  for (const Case& c : cases) {
    InternetTransfer inet;
    inet.RemoteHost = c.host;
    inet.RemotePort = c.port;
    inet.Protocol = c.protocol;
    int32_t number = 0;
    try {
      inet.Execute(c.url, c.operation);
    } catch (const AutomationError& e) {
      number = e.number();
    }
    EXPECT_EQ(number, c.number) << c.what;
    EXPECT_FALSE(inet.StillExecuting()) << c.what;
  }
  EXPECT_TRUE(localNames().empty());

  inet_.Execute("", get);
  int32_t busy = 0;
  try {
    inet_.Execute("", get);
  } catch (const AutomationError& e) {
    busy = e.number();
  }
  EXPECT_EQ(busy, kStillExecuting);
  EXPECT_EQ(finish(), icResponseCompleted);
}

TEST(InetText, OperationsAndUrls) {
  Operation op = parseOperation("  get  exam\\wd.doc   C:\\BqOperation\\wd.doc ");
  EXPECT_EQ(op.verb, Operation::Verb::kGet);
  EXPECT_EQ(op.remote, "exam\\wd.doc");
  EXPECT_EQ(op.local, "C:\\BqOperation\\wd.doc");
  op = parseOperation("Put \"D:\\my answers\\ex.xls\" exam\\ex.xls");
  EXPECT_EQ(op.verb, Operation::Verb::kPut);
  EXPECT_EQ(op.local, "D:\\my answers\\ex.xls");
  EXPECT_EQ(op.remote, "exam\\ex.xls");

  EXPECT_EQ(ftpUrl("10.0.0.5", 21, "exam\\wdBQ1.doc"), "ftp://10.0.0.5:21/exam/wdBQ1.doc");
  EXPECT_EQ(ftpUrl("h", 2121, "\\abs\\a b;type=a#%.tg"),
            "ftp://h:2121//abs/a%20b%3Btype%3Da%23%25.tg");
  EXPECT_EQ(ftpUrl("::1", 21, "x"), "ftp://[::1]:21/x");
  EXPECT_EQ(ftpUrl("h", 21, "考"), "ftp://h:21/%E8%80%83");
}

TEST(InetText, TheTimeoutComesFromTheEnvironment) {
  const std::vector<std::pair<const char*, int64_t>> cases = {
      {nullptr, 30000}, {"", 30000},    {"5", 5000},   {"0.25", 250},     {"0", 30000},
      {"-3", 30000},    {"abc", 30000}, {"7s", 30000}, {"1e9", 86400000}, {"nan", 30000},
  };
  for (const auto& [value, ms] : cases) {
    if (value) {
      setenv("BQ_FTP_TIMEOUT", value, 1);
    } else {
      unsetenv("BQ_FTP_TIMEOUT");
    }
    EXPECT_EQ(transferTimeout().count(), ms) << (value ? value : "(unset)");
  }
  unsetenv("BQ_FTP_TIMEOUT");
}

TEST(InetText, TheSizeBoundComesFromTheEnvironment) {
  const std::vector<std::pair<const char*, uint64_t>> cases = {
      {nullptr, 256u << 20}, {"", 256u << 20},     {"1", 1u << 20},    {"0.5", 512u << 10},
      {"1e-9", 1},           {"0", 256u << 20},    {"-1", 256u << 20}, {"64 MiB", 256u << 20},
      {"inf", 256u << 20},   {"1e12", 1ull << 40}, {" 2 ", 2u << 20},
  };
  for (const auto& [value, bytes] : cases) {
    if (value) {
      setenv("BQ_FTP_MAX_MIB", value, 1);
    } else {
      unsetenv("BQ_FTP_MAX_MIB");
    }
    EXPECT_EQ(transferSizeLimit(), bytes) << (value ? value : "(unset)");
  }
  unsetenv("BQ_FTP_MAX_MIB");
}

}  // namespace
}  // namespace bq::ftp
