// The resident LibreOffice: many conversions on one start, and a fresh start
// after LibreOffice was killed, ran out of time or refused a file.
#include "platform/office/legacy/resident_converter.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <thread>

#include "common/automation_error.h"
#include "platform/office/legacy/legacy_conversion.h"
#include "platform/zip/unique_fd.h"

namespace bq::office {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const fs::path kTestdata = BQ_OFFICE_TESTDATA;
const Failure kFailure{53, "test", "legacy file"};

bool isZip(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  char magic[2] = {};
  in.read(magic, 2);
  return magic[0] == 'P' && magic[1] == 'K';
}

class Resident : public ::testing::Test {
 protected:
  void SetUp() override {
    if (findSoffice().empty()) GTEST_SKIP() << "LibreOffice is not installed";
  }
  // tea.doc converted into a fresh file of the test's folder.
  void convertTea(ResidentConverter& c, std::chrono::milliseconds timeout = 60s) {
    const fs::path out = folder_.path() / ("tea" + std::to_string(++n_) + ".docx");
    c.convert(kTestdata / "tea.doc", "MS Word 97", out, "MS Word 2007 XML", timeout, kFailure);
    EXPECT_TRUE(isZip(out));
  }
  TempFolder folder_{"bq-resident-test-", kFailure};
  int n_ = 0;
};

TEST_F(Resident, ConvertsManyFilesOnOneStart) {
  ResidentConverter c;
  convertTea(c);
  convertTea(c);
  const fs::path xlsx = folder_.path() / "chart.xlsx";
  c.convert(kTestdata / "chart.xls", "MS Excel 97", xlsx, "Calc MS Excel 2007 XML", 60s, kFailure);
  EXPECT_TRUE(isZip(xlsx));
  EXPECT_EQ(c.starts(), 1);
}

TEST_F(Resident, StartsAgainAfterLibreOfficeWasKilled) {
  ResidentConverter c;
  convertTea(c);
  ASSERT_GT(c.processGroup(), 0);
  ::kill(-c.processGroup(), SIGKILL);
  // Time for the helper to be gone: the next request then meets a pipe with
  // no reader, which must fail the write and not end the test (SIGPIPE).
  std::this_thread::sleep_for(300ms);
  convertTea(c);
  EXPECT_EQ(c.starts(), 2);
}

TEST_F(Resident, AConversionPastItsTimeFailsAndTheNextStartsAfresh) {
  ResidentConverter c;
  convertTea(c);
  try {
    convertTea(c, 1ms);
    FAIL() << "no time-out";
  } catch (const AutomationError& e) {
    EXPECT_NE(e.description().find("did not convert the file within 1 ms"), std::string::npos)
        << e.description();
  }
  EXPECT_EQ(c.processGroup(), -1);
  convertTea(c);
  EXPECT_EQ(c.starts(), 2);
}

TEST_F(Resident, AFileLibreOfficeRefusesFailsAndTheConverterGoesOn) {
  ResidentConverter c;
  const fs::path junk = folder_.path() / "junk.doc";
  std::ofstream(junk) << "this is no Word file";
  EXPECT_THROW(c.convert(junk, "MS Word 97", folder_.path() / "junk.docx", "MS Word 2007 XML", 60s,
                         kFailure),
               AutomationError);
  convertTea(c);
  EXPECT_EQ(c.starts(), 1);
}

TEST_F(Resident, LegacyConversionsOfTheThreadUseIt) {
  ResidentConversionScope scope;
  for (int i = 0; i < 2; ++i) {
    UniqueFd fd(::open((kTestdata / "hometown.ppt").c_str(), O_RDONLY | O_CLOEXEC));
    ConvertedFile f = convertLegacyFile(fd.get(), ConvertTo::Pptx, 60s, kFailure);
    EXPECT_TRUE(isZip(f.file));
  }
  EXPECT_EQ(scope.converter().starts(), 1);
  EXPECT_EQ(residentConverter(), &scope.converter());
}

}  // namespace
}  // namespace bq::office
