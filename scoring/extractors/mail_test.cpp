#include "scoring/extractors/mail.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "common/automation_error.h"
#include "common/read_limits.h"
#include "common/text.h"

namespace bq {
namespace {

namespace fs = std::filesystem;
using Fields = MailFieldList;

std::string crlf(std::string_view text) { return replaceAll(text, "\n", "\r\n"); }

// A message as a mail client writes it: headers, a blank line, a text part
// and two attachments. Its fields: Stu01, teacher, Weekly report, report.doc, scores.xls.
const std::string kReport = crlf(R"(x-sender: Stu01@exam.cn
x-receiver: teacher@exam.cn, head@exam.cn
From: "Stu01" <Stu01@exam.cn>
To: <teacher@exam.cn>, <head@exam.cn>
Subject: Weekly report
Date: Mon, 4 Mar 2002 10:15:00 +0800
MIME-Version: 1.0
Content-Type: multipart/mixed;
	boundary="----=_NextPart_000_0001_01C1C3A1.5B2E1C40"

This is a multi-part message in MIME format.

------=_NextPart_000_0001_01C1C3A1.5B2E1C40
Content-Type: text/plain;
	charset="gb2312"

Dear teacher, the report is attached.

------=_NextPart_000_0001_01C1C3A1.5B2E1C40
Content-Type: application/msword;
	name="report.doc"
Content-Transfer-Encoding: base64
Content-Disposition: attachment;
	filename="report.doc"

0M8R4KGxGuEAAAAAAAAAAAAAAAAAAAAAPgADAP7/CQAGAAAAAAAAAAAAAAABAAAA
------=_NextPart_000_0001_01C1C3A1.5B2E1C40
Content-Type: application/vnd.ms-excel;
	name="scores.xls"
Content-Disposition: attachment;
	filename="scores.xls"

0M8R4KGxGuEAAAAAAAAAAAAAAAAAAAAAPgADAP7/CQAGAAAAAAAAAAAAAAABAAAA
------=_NextPart_000_0001_01C1C3A1.5B2E1C40--
)");

// Runs `call`, which must fail with the run-time error `number`.
void expectError(int32_t number, const std::string& what, const std::function<void()>& call) {
  try {
    call();
    ADD_FAILURE() << what << ": no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), number) << what << ": " << e.description();
  }
}

TEST(MailField, TakesTheValueAfterTheKeyFoundWithoutRegardToCase) {
  struct Case {
    std::string text;
    std::string_view key;
    std::optional<std::string_view> stop;
    std::string field;
  } cases[] = {
      {"X-Sender: Stu01@exam.cn", "x-sender:", "@", "Stu01"},
      {"x-sender: stu01", "x-sender:", "@", ""},               // no stop text, no field
      {"Thread-Subject: Hi", "subject:", std::nullopt, "Hi"},  // the key may stand anywhere
      {"Subject:Hi", "subject:", std::nullopt, "i"},  // whatever follows the key is dropped
      {"Subject:", "subject:", std::nullopt, ""},
      {"Date: today", "subject:", std::nullopt, ""},
      // "İ" lower-cases to one byte fewer in UTF-8 but to as many UTF-16 units.
      {"İİ Subject: Hi", "subject:", std::nullopt, "Hi"},
      {"\xF0\xA0\x80\x80 X-Receiver: 学生@exam.cn", "x-receiver:", "@", "学生"},
  };
  for (const auto& c : cases) EXPECT_EQ(GetMailField(c.text, c.key, c.stop), c.field) << c.text;
}

TEST(MailFields, GivesAtMostOneFieldPerItemInFileOrder) {
  struct Case {
    std::string bytes;
    Fields fields;
  } cases[] = {
      {"Subject: Hello\r\n", {"Hello"}},
      {"Subject: Hello  \r\n", {"Hello"}},  // the reader drops trailing blanks
      {"X-Sender: Stu01@exam.cn\r\n", {"Stu01"}},
      {"X-Sender: stu01\r\nDate: today\r\n", {}},
      {"x-receiver: a@exam.cn, b@exam.cn\r\n", {"a"}},  // the second item lacks the key
      {"Subject: Hi, there", {"Hi"}},
      {"\"Subject: Hi, there\"\r\n", {"Hi, there"}},
      {"Subject: x-sender: a@b", {"a"}},  // the sender key is tried first
      {"\tfilename=\"report.doc\"\r\n", {"report.doc"}},
      {"filename=report.doc\r\n", {"eport.doc"}},  // the first character goes, quote or not
      {"filename=\"\"\r\n", {}},
      {"\r\n\r\n", {}},
      {"Subject: \xC4\xE3\xBA\xC3\r\n", {"你好"}},  // GBK
      {kReport, {"Stu01", "teacher", "Weekly report", "report.doc", "scores.xls"}},
  };
  for (const auto& c : cases) {
    Fields fields;
    EXPECT_EQ(ReadMailFieldsFromBytes(c.bytes, fields), static_cast<int16_t>(c.fields.size()));
    EXPECT_EQ(fields, c.fields) << c.bytes;
  }
}

TEST(MailFields, FailsOnAnEmptyFileAndPastTheSixteenBitCount) {
  Fields fields{"kept"};
  expectError(62, "empty file", [&] { ReadMailFieldsFromBytes("", fields); });
  EXPECT_EQ(fields, Fields{"kept"});

  std::string lines;
  for (int i = 0; i < 32767; ++i) lines += "Subject: s\r\n";
  fields.clear();
  EXPECT_EQ(ReadMailFieldsFromBytes(lines, fields), 32767);
  fields.clear();
  expectError(6, "32768 fields", [&] { ReadMailFieldsFromBytes(lines + "Subject: t", fields); });
  EXPECT_EQ(fields.size(), 32767u) << "the fields read before the overflow stay";
}

class MailFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/bq-mail-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root_ = tmpl;
  }
  void TearDown() override {
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(root_);
  }
  void write(const std::string& name, const std::string& bytes) {
    std::ofstream(root_ / name, std::ios::binary) << bytes;
  }
  MailDictionary read() {
    MailDictionary d{{"OLD", {"old"}}};
    GetMailZSDFromPath(root_.string(), d);
    return d;
  }

  fs::path root_;
};

TEST_F(MailFolder, GivesANewEmptyDictionaryWhenThereIsNoMessage) {
  write("note.txt", "Subject: Hello\r\n");
  write("mail.eml.txt", "Subject: Hello\r\n");
  EXPECT_TRUE(read().empty()) << "the old content is gone";
  MailDictionary d{{"OLD", {"old"}}};
  GetMailZSDFromPath((root_ / "missing").string(), d);
  EXPECT_TRUE(d.empty());
}

TEST_F(MailFolder, KeysEachMessageByItsFirstFieldUpperCased) {
  write("1.eml", crlf("Date: today\nSubject: Hello\n"));
  write("2.eml", kReport);
  write("3.eml", crlf("X-Sender: nobody\n\nNo fields here.\n"));
  MailDictionary d = read();
  EXPECT_EQ(d.Keys(), (std::vector<std::string>{"HELLO", "STU01"}));
  EXPECT_EQ(d["HELLO"], Fields{"Hello"});
  EXPECT_EQ(d["STU01"], (Fields{"Stu01", "teacher", "Weekly report", "report.doc", "scores.xls"}));
}

TEST_F(MailFolder, ALaterMessageFromTheSameSenderReplacesTheEarlier) {
  // The listing order is a.eml, B.eml, though "B" comes before "a" byte for byte.
  write("a.eml", crlf("X-Sender: Stu01@exam.cn\nSubject: first\n"));
  write("B.eml", crlf("x-sender: stu01@exam.cn\nSubject: second\n"));
  MailDictionary d = read();
  ASSERT_EQ(d.Count(), 1u);
  EXPECT_EQ(d["STU01"], (Fields{"stu01", "second"}));
}

TEST_F(MailFolder, ReadsOnlyVisibleFilesEndingInEml) {
  fs::create_directory(root_ / "x.eml");
  write("x.eml/inner.eml", "Subject: inner\r\n");
  write(".x.eml", "Subject: hidden\r\n");
  write("UPPER.EML", "Subject: upper\r\n");
  write("back\\slash.eml", "Subject: slash\r\n");  // a "\" is an ordinary character here
  EXPECT_EQ(read().Keys(), (std::vector<std::string>{"SLASH", "UPPER"}));
}

TEST_F(MailFolder, AnEmptyMessageEndsTheCallAndKeepsWhatWasRead) {
  write("a.eml", "Subject: A\r\n");
  write("b.eml", "X-Sender: bee@exam.cn\r\n");
  write("z.eml", "");
  MailDictionary d{{"OLD", {"old"}}};
  expectError(62, "empty message", [&] { GetMailZSDFromPath(root_.string(), d); });
  EXPECT_EQ(d.Keys(), (std::vector<std::string>{"A", "BEE"}));
}

// A message file past its bound (a hostile "answer" of gigabytes) is refused
// before it is taken into memory; the messages before it stay.
TEST_F(MailFolder, AMessageBeyondItsBoundEndsTheCall) {
  write("a.eml", "Subject: A\r\n");
  write("b.eml", "Subject: B\r\n");
  fs::resize_file(root_ / "b.eml", limits::kMailMessage.maxBytes + 1);
  MailDictionary d;
  try {
    GetMailZSDFromPath(root_.string(), d);
    ADD_FAILURE() << "accepted";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 7);
    EXPECT_EQ(e.description(), "Out of memory (the e-mail message '" + (root_ / "b.eml").string() +
                                   "' is larger than 64 MiB)");
  }
  EXPECT_EQ(d.Keys(), std::vector<std::string>{"A"});
}

TEST_F(MailFolder, ReadsAFolderGivenAsADrivePath) {
  const char* old = std::getenv("BQ_DRIVES");
  const std::string saved = old ? old : "";
  setenv("BQ_DRIVES", (root_ / "drives").c_str(), 1);
  fs::create_directories(root_ / "drives" / "c" / "Mail");
  std::ofstream(root_ / "drives" / "c" / "Mail" / "m.eml", std::ios::binary) << "Subject: Hi\r\n";
  MailDictionary d;
  GetMailZSDFromPath("C:\\mail", d);
  Fields fields;
  ReadMailFields("c:\\MAIL\\M.EML", fields);
  old ? setenv("BQ_DRIVES", saved.c_str(), 1) : unsetenv("BQ_DRIVES");
  EXPECT_EQ(d.Keys(), std::vector<std::string>{"HI"});
  EXPECT_EQ(fields, Fields{"Hi"});
}

TEST_F(MailFolder, ReportsFilesThatCannotBeRead) {
  fs::create_directory(root_ / "folder.eml");
  write("locked.eml", "Subject: x\r\n");
  fs::permissions(root_ / "locked.eml", fs::perms::none);
  Fields fields;
  expectError(53, "missing", [&] { ReadMailFields((root_ / "none.eml").string(), fields); });
  expectError(76, "no folder",
              [&] { ReadMailFields((root_ / "none" / "a.eml").string(), fields); });
  expectError(75, "folder", [&] { ReadMailFields((root_ / "folder.eml").string(), fields); });
  expectError(75, "device", [&] { ReadMailFields("/dev/zero", fields); });
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  expectError(70, "locked", [&] { ReadMailFields((root_ / "locked.eml").string(), fields); });
}

}  // namespace
}  // namespace bq
