// Legacy binary files converted by the real LibreOffice. Each conversion
// costs about a second, so there are few. Skipped without LibreOffice. The
// files were made from the project's own documents by
// testdata/make_legacy.sh.
#include "platform/office/legacy/legacy_conversion.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <pugixml.hpp>
#include <string>

#include "common/automation_error.h"
#include "platform/office/opc/package.h"
#include "platform/office/testing/test_packages.h"

namespace bq::office {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const fs::path kLegacy = fs::path(BQ_OFFICE_TESTDATA);

class LegacyConversion : public ::testing::Test {
 protected:
  void SetUp() override {
    if (findSoffice().empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    // Conversions work under $TMPDIR; a private one shows what they leave behind.
    const char* tmp = std::getenv("TMPDIR");
    savedTmp_ = tmp ? tmp : "";
    hadTmp_ = tmp != nullptr;
    ::setenv("TMPDIR", scratch_.path().c_str(), 1);
  }
  void TearDown() override {
    if (hadTmp_)
      ::setenv("TMPDIR", savedTmp_.c_str(), 1);
    else
      ::unsetenv("TMPDIR");
  }
  bool tmpIsEmpty() const { return fs::is_empty(scratch_.path()); }

  testing::ScratchDir scratch_;  // before SetUp changes TMPDIR: lives in the real one
  std::string savedTmp_;
  bool hadTmp_ = false;
};

OpenOptions converting(ConvertTo to, std::chrono::milliseconds timeout = 60s) {
  OpenOptions options;
  options.convertTo = to;
  options.conversionTimeout = timeout;
  return options;
}

AutomationError errorOf(const fs::path& file, ConvertTo to,
                        std::chrono::milliseconds timeout = 60s) {
  try {
    Package::open(file, converting(to, timeout));
  } catch (const AutomationError& e) {
    return e;
  }
  ADD_FAILURE() << "no error for " << file;
  return AutomationError(0, "", "");
}

TEST_F(LegacyConversion, ConvertsEachKindToTheFormatAskedFor) {
  struct Case {
    const char* file;
    ConvertTo to;
    const char* root;
    const char* contentType;
  };
  const Case cases[] = {
      {"chart.xls", ConvertTo::Xlsx, "x:workbook",
       "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"},
      {"tea.doc", ConvertTo::Docx, "w:document",
       "application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml"},
      {"hometown.ppt", ConvertTo::Pptx, "p:presentation",
       "application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    Package pkg = Package::open(kLegacy / c.file, converting(c.to));
    EXPECT_TRUE(pkg.converted());
    Part main = pkg.mainPart();
    ASSERT_TRUE(main);
    EXPECT_STREQ(main.xml().name(), c.root);
    EXPECT_EQ(main.contentType(), c.contentType);
    EXPECT_TRUE(tmpIsEmpty()) << "the conversion folder is removed once the package is open";
  }
}

TEST_F(LegacyConversion, RefusesAFileOfAnotherKindOrDamagedBeyondReading) {
  AutomationError wrongKind = errorOf(kLegacy / "tea.doc", ConvertTo::Xlsx);
  EXPECT_EQ(wrongKind.number(), kCannotOpenFile);
  EXPECT_NE(wrongKind.description().find("LibreOffice could not convert the file ("),
            std::string::npos)
      << wrongKind.description();

  // The OLE2 signature and nothing sensible after it: without a named
  // import filter this would come back as a sheet of imported text.
  testing::writeFile(scratch_ / "junk.xls",
                     std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(3000, 'j'));
  AutomationError junk = errorOf(scratch_ / "junk.xls", ConvertTo::Xlsx);
  EXPECT_EQ(junk.number(), kCannotOpenFile);
  EXPECT_NE(junk.description().find("could not convert"), std::string::npos) << junk.description();
  fs::remove(scratch_ / "junk.xls");
  EXPECT_TRUE(tmpIsEmpty());
}

TEST_F(LegacyConversion, AConversionOverItsTimeIsKilledAndCleanedUp) {
  const auto start = std::chrono::steady_clock::now();
  AutomationError e = errorOf(kLegacy / "chart.xls", ConvertTo::Xlsx, 50ms);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_NE(e.description().find("LibreOffice did not convert the file within 50 ms"),
            std::string::npos)
      << e.description();
  EXPECT_TRUE(tmpIsEmpty());
}

}  // namespace
}  // namespace bq::office
