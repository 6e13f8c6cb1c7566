#include "client/core/exam_servers.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace bq::client {
namespace {

namespace fs = std::filesystem;

TEST(ExamServers, OriginsAreNormalisedOrRefused) {
  struct Case {
    const char* text;
    const char* origin;  // nullptr: no origin
  };
  const Case cases[] = {
      {"http://10.0.0.5", "http://10.0.0.5"},
      {"  HTTP://Exam.Example.EDU:8080/ ", "http://exam.example.edu:8080"},
      {"http://exam:80", "http://exam"},
      {"https://exam:443/", "https://exam"},
      {"https://exam:80", "https://exam:80"},
      {"http://[::1]:8080", "http://[::1]:8080"},
      {"http://a-b.c", "http://a-b.c"},
      {"http://exam/page.htm", nullptr},
      {"http://exam//", nullptr},
      {"http://user@exam", nullptr},
      {"http://exam?x=1", nullptr},
      {"http://exam:0", nullptr},
      {"http://exam:65536", nullptr},
      {"http://exam:", nullptr},
      {"http://*.exam", nullptr},
      {"http://-exam", nullptr},
      {"http://exam.", nullptr},
      {"http://", nullptr},
      {"ftp://exam", nullptr},
      {"file:///C:/BqTestMy", nullptr},
      {"exam:8080", nullptr},
      {"http://考试.cn", nullptr},
      {"null", nullptr},
  };
  for (const Case& c : cases) {
    const std::optional<std::string> got = normalizeOrigin(c.text);
    if (c.origin) {
      EXPECT_EQ(got, std::optional<std::string>(c.origin)) << c.text;
    } else {
      EXPECT_EQ(got, std::nullopt) << c.text;
    }
  }
}

TEST(ExamServers, CommentsBlankLinesAndBadLinesWithTheirNumbers) {
  const ExamServers s = parseExamServers(
      "\xEF\xBB\xBF# exam servers\r\n"
      "http://10.0.0.5\r\n"
      "\r\n"
      "; old server\n"
      "http://exam.local/exam/\n"
      "HTTP://10.0.0.5:80\n"
      "  https://exam.local:8443  ",
      "BqServers.txt");
  EXPECT_EQ(s.origins, (std::vector<std::string>{"http://10.0.0.5", "https://exam.local:8443"}));
  ASSERT_EQ(s.problems.size(), 1u);
  EXPECT_EQ(s.problems[0].rfind("BqServers.txt:5: ", 0), 0u) << s.problems[0];

  EXPECT_TRUE(s.allows("http://10.0.0.5"));
  EXPECT_TRUE(s.allows("http://10.0.0.5:80"));
  EXPECT_TRUE(s.allows("https://EXAM.local:8443"));
  EXPECT_FALSE(s.allows("http://10.0.0.5:8080"));
  EXPECT_FALSE(s.allows("https://10.0.0.5"));
  EXPECT_FALSE(s.allows("http://exam.local"));
  EXPECT_FALSE(s.allows("null"));
  EXPECT_FALSE(s.allows(""));
  EXPECT_TRUE(parseExamServers("", "f").origins.empty());
}

TEST(ExamServers, TheFileBesideTheDatabase) {
  const fs::path dir = fs::temp_directory_path() / ("bq-servers-" + std::to_string(getpid()));
  fs::create_directories(dir);
  EXPECT_TRUE(readExamServers(dir.string()).origins.empty()) << "no file, no server";
  EXPECT_TRUE(readExamServers(dir.string()).problems.empty());

  std::ofstream(dir / kExamServersFile) << "http://127.0.0.1:8000\n";
  EXPECT_TRUE(readExamServers(dir.string()).allows("http://127.0.0.1:8000"));

  // A file too large to be a list of servers allows nothing at all.
  std::ofstream(dir / kExamServersFile) << "http://127.0.0.1:8000\n"
                                        << std::string(kExamServersMaxBytes, '#');
  const ExamServers large = readExamServers(dir.string());
  EXPECT_TRUE(large.origins.empty());
  EXPECT_EQ(large.problems.size(), 1u);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace bq::client
