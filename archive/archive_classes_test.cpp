// The archive classes against the recording library: the records they fill,
// field by field, the call order, and the routines they hand over.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>

#include "archive/archive_methods.h"
#include "archive/cg_unzip_files.h"
#include "archive/cg_zip_files.h"
#include "archive/zip_module.h"
#include "common/ansi.h"
#include "common/automation_error.h"
#include "platform/infozip/recorder.h"
#include "platform/ui/recorder.h"

namespace bq::archive {
namespace {

namespace iz = bq::infozip;
using Call = iz::Recorder::Call;

class ArchiveClasses : public ::testing::Test {
 protected:
  std::shared_ptr<iz::Recorder> lib = std::make_shared<iz::Recorder>();
  std::shared_ptr<ui::Recorder> ui = std::make_shared<ui::Recorder>();
  iz::ScopedLibrary libScope{lib};
  ui::ScopedBackend uiScope{ui};
};

AutomationError missing(const char* name) {
  return AutomationError(453, "", std::string("Can't find DLL entry point ") + name);
}

TEST_F(ArchiveClasses, NewZipObject) {
  CGZipFiles z;
  EXPECT_EQ(z.ZipFileCount(), 0);
  EXPECT_EQ(z.RootDirectory(), "\\");
  EXPECT_FALSE(z.RecurseFolders());
  EXPECT_FALSE(z.Encrypted());
  EXPECT_FALSE(z.IncludeSystemFiles());
  EXPECT_FALSE(z.UpdatingZip());
  EXPECT_EQ(z.ZipFileName(), "");
}

TEST_F(ArchiveClasses, FileListKeysIgnoreCase) {
  CGZipFiles z;
  z.AddFile("C:\\Work\\a.txt");
  try {
    z.AddFile("c:\\WORK\\A.TXT");
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), -2147219503);
    EXPECT_EQ(e.source(), "CGZip::AddFile");
    EXPECT_EQ(e.description(), "File is already in Zip List");
  }
  EXPECT_EQ(z.ZipFileCount(), 1);
  try {
    z.RemoveFile("b.txt");
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), -2147219502);
    EXPECT_EQ(e.source(), "CGZip::RemoveFile");
    EXPECT_EQ(e.description(), "File is not in Zip List");
  }
  z.RemoveFile("C:\\WORK\\A.txt");
  EXPECT_EQ(z.ZipFileCount(), 0);
  // The placeholder holds its key too.
  EXPECT_THROW(z.AddFile("QUERTY"), AutomationError);
}

TEST_F(ArchiveClasses, MakeZipFileFillsTheRecordsInOrder) {
  CGZipFiles z;
  z.ZipFileName("C:\\out\\考试.zip");
  z.AddFile("C:\\BQTEST\\文档.doc");
  z.RecurseFolders(true);
  z.UpdatingZip(true);
  z.Encrypted(true);            // reaches nothing
  z.IncludeSystemFiles(true);   // reaches nothing
  z.RootDirectory("c:\\bqtest");
  EXPECT_TRUE(z.Encrypted());
  EXPECT_EQ(z.MakeZipFile(), 0);
  ASSERT_EQ(lib->calls().size(), 3u);
  EXPECT_EQ(lib->calls()[0].call, Call::kZpInit);
  EXPECT_EQ(lib->calls()[1].call, Call::kZpSetOptions);
  EXPECT_EQ(lib->calls()[2].call, Call::kZpArchive);

  const iz::ZipUserFunctions& f = lib->calls()[0].zipFunctions;
  EXPECT_NE(f.print, nullptr);
  EXPECT_NE(f.password, nullptr);
  EXPECT_NE(f.comment, nullptr);
  EXPECT_EQ(f.service, nullptr);
  char buffer[8] = "keep";
  EXPECT_EQ(f.password(buffer, 8, "Enter password: ", "x"), 1);
  EXPECT_STREQ(buffer, "keep");
  EXPECT_EQ(f.comment(buffer), buffer);

  const iz::Recorder::Record& o = lib->calls()[1];
  const iz::ZipOptions& opt = o.zipOptions;
  const int32_t* fields = &opt.fSuffix;  // fields 1 to 27 are consecutive 32-bit integers
  for (int i = 1; i <= 27; ++i) {
    const int32_t expected = (i == 14 || i == 19) ? 1 : 0;
    EXPECT_EQ(fields[i - 1], expected) << "field " << i;
  }
  EXPECT_EQ(opt.fLevel, 0);
  EXPECT_FALSE(o.date.has_value());
  EXPECT_EQ(o.rootDir, "C:\\BQTEST");

  const iz::Recorder::Record& a = lib->calls()[2];
  EXPECT_EQ(a.argc, 2);
  EXPECT_EQ(a.zipName, toAnsi("C:\\out\\考试.zip"));
  EXPECT_EQ(a.names[0], "querty");
  EXPECT_EQ(a.names[1], toAnsi("C:\\BQTEST\\文档.doc"));
  for (size_t i = 2; i < a.names.size(); ++i) EXPECT_FALSE(a.names[i].has_value()) << i;
  // The list is kept: a second run archives the same names.
  z.MakeZipFile();
  EXPECT_EQ(lib->calls().back().argc, 2);
}

TEST_F(ArchiveClasses, AHundredNamesAreTooMany) {
  CGZipFiles z;
  for (int i = 0; i < 98; ++i) z.AddFile("f" + std::to_string(i));
  z.MakeZipFile();  // 99 names with the placeholder
  EXPECT_EQ(lib->calls().back().argc, 99);
  z.AddFile("f98");
  z.MakeZipFile();  // 100 fill the list
  EXPECT_EQ(lib->calls().back().argc, 100);
  const size_t before = lib->calls().size();
  z.AddFile("f99");
  try {
    z.MakeZipFile();
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), err::kSubscript);
    EXPECT_EQ(e.source(), "CGZipFiles::MakeZipFile");
    EXPECT_EQ(e.description(), "Subscript out of range");
  }
  EXPECT_EQ(lib->calls().size(), before) << "nothing archived";
}

TEST_F(ArchiveClasses, MissingEntryPointsAreSkipped) {
  struct Case {
    std::vector<Call> missingCalls;
    int32_t archiveResult;
    int32_t expected;
  };
  const Case cases[] = {
      {{Call::kZpInit, Call::kZpSetOptions, Call::kZpArchive}, 5, 0},  // no library: 0, as success
      {{Call::kZpArchive}, 5, 1},                                       // ZpSetOptions' answer
      {{Call::kZpInit}, 12, 12},
      {{}, 12, 12},  // non-zero results come back unchanged
  };
  for (const Case& c : cases) {
    auto rec = std::make_shared<iz::Recorder>();
    for (Call m : c.missingCalls) rec->failCall(m, missing("Zp"));
    rec->setResult(Call::kZpArchive, c.archiveResult);
    iz::ScopedLibrary scope(rec);
    CGZipFiles z;
    EXPECT_EQ(z.MakeZipFile(), c.expected);
  }
}

TEST_F(ArchiveClasses, ZipPrintCollectsUpToTheLengthAndLetsEventsRun) {
  lib->duringZpArchive([](const iz::ZipUserFunctions& f) {
    EXPECT_EQ(f.print("  adding: a.txt", 15), 0);
    f.print("\ndone\0hidden", 12);        // stops at the zero byte
    f.print("abc", 1);                     // index 0 to 1 inclusive
    std::string big(5000, 'x');
    f.print(big.c_str(), 5000);            // never past index 4096
    f.print(toAnsi("中文").c_str(), 4);     // from ANSI
  });
  CGZipFiles z;
  z.MakeZipFile();
  EXPECT_EQ(z.GetLastMessage(), "  adding: a.txt\ndoneab" + std::string(4097, 'x') + "中文");
  EXPECT_EQ(ui->doEventsCalls(), 5);
  // The next run starts from an empty text.
  z.MakeZipFile();
  EXPECT_EQ(z.GetLastMessage(), "");
}

TEST_F(ArchiveClasses, NewUnzipObject) {
  CGUnzipFiles u;
  EXPECT_TRUE(u.HonorDirectories());
  EXPECT_TRUE(u.OverWriteFiles());
  EXPECT_TRUE(u.CaseSensitive());
  EXPECT_EQ(u.MessageLevel(), NoMessages);
  EXPECT_EQ(u.ExtractList(), Extract);
  EXPECT_EQ(u.Privilege(), Ignore);
  for (bool b : {u.ExtractNewer(), u.SpaceToUnderScore(), u.PromptOverwrite(), u.WriteToStdOut(),
                 u.TestZip(), u.ExtractOnlyNewer(), u.DisplayComment(), u.ConvertCRtoCRLF(),
                 u.Verbose()}) {
    EXPECT_FALSE(b);
  }
}

TEST_F(ArchiveClasses, UnzipFillsTheRecords) {
  CGUnzipFiles u;
  u.ZipFileName("C:\\in.zip");
  u.ExtractDir("C:\\out");
  u.ExtractOnlyNewer(true);
  u.PromptOverwrite(true);
  u.MessageLevel(Less);
  u.ExtractList(ListContents);
  u.DisplayComment(true);
  u.HonorDirectories(false);
  u.Verbose(true);
  u.Privilege(Privileges);
  EXPECT_EQ(u.Unzip(), 0);
  ASSERT_EQ(lib->calls().size(), 2u);
  const iz::Recorder::Record& v = lib->calls()[0];
  EXPECT_EQ(v.call, Call::kUzpVersion2);
  EXPECT_EQ(v.version.structlen, 64);
  EXPECT_EQ(v.version.flag, 0);
  EXPECT_EQ(std::string(v.version.betalevel), std::string(9, ' '));
  EXPECT_EQ(std::string(v.version.date), std::string(19, ' '));
  EXPECT_EQ(std::string(v.version.zlibver), std::string(9, ' '));
  const uint8_t zeros[16] = {};
  EXPECT_EQ(std::memcmp(v.version.unzip, zeros, 16), 0);

  const iz::Recorder::Record& w = lib->calls()[1];
  EXPECT_EQ(w.call, Call::kWizSingleEntryUnzip);
  EXPECT_EQ(w.includeCount, 0);
  EXPECT_EQ(w.excludeCount, 0);
  for (size_t i = 0; i < w.include.size(); ++i) {
    EXPECT_FALSE(w.include[i].has_value());
    EXPECT_FALSE(w.exclude[i].has_value());
  }
  const int32_t* fields = &w.unzipOptions.ExtractOnlyNewer;
  // ExtractOnlyNewer, SpaceToUnderScore, PromptOverwrite, MessageLevel, WriteToStdOut, TestZip,
  // ExtractList, ExtractNewer, DisplayComment, HonorDirectories, OverWriteFiles,
  // ConvertCRtoCRLF, Verbose, CaseSensitive, Privilege.
  const int32_t expected[15] = {1, 0, 1, 1, 0, 0, 1, 0, 1, 0, 1, 0, 1, 1, 2};
  for (int i = 0; i < 15; ++i) EXPECT_EQ(fields[i], expected[i]) << "field " << i + 1;
  EXPECT_EQ(w.unzipZipName, "C:\\in.zip");
  EXPECT_EQ(w.extractDir, "C:\\out");
  const iz::UnzipUserFunctions& f = w.unzipFunctions;
  EXPECT_NE(f.print, nullptr);
  EXPECT_EQ(f.sound, nullptr);
  EXPECT_NE(f.replace, nullptr);
  EXPECT_NE(f.password, nullptr);
  EXPECT_NE(f.sendApplicationMessage, nullptr);
  EXPECT_NE(f.serviceApplication, nullptr);
  EXPECT_EQ(f.serviceApplication("a", 1), 0);
  EXPECT_EQ(f.TotalSizeComp + f.TotalSize + f.CompFactor + f.NumMembers + f.cchComment, 0);
}

TEST_F(ArchiveClasses, UnzipArgumentsReplaceThePropertiesOnlyWhenGiven) {
  CGUnzipFiles u;
  u.ZipFileName("a.zip");
  u.ExtractDir("d1");
  u.Unzip(std::string(), std::string());
  EXPECT_EQ(lib->calls().back().unzipZipName, "a.zip");
  EXPECT_EQ(lib->calls().back().extractDir, "d1");
  u.Unzip(std::string("b.zip"), std::string("d2"));
  EXPECT_EQ(u.ZipFileName(), "b.zip");
  EXPECT_EQ(u.ExtractDir(), "d2");
  EXPECT_EQ(lib->calls().back().unzipZipName, "b.zip");
  EXPECT_EQ(lib->calls().back().extractDir, "d2");
}

TEST_F(ArchiveClasses, EnumerationsThatDoNotFitSixteenBitsOverflow) {
  for (int which = 0; which < 3; ++which) {
    CGUnzipFiles u;
    if (which == 0) u.MessageLevel(40000);
    if (which == 1) u.ExtractList(-40000);
    if (which == 2) u.Privilege(32768);
    const size_t before = lib->calls().size();
    try {
      u.Unzip();
      FAIL();
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), err::kOverflow);
      EXPECT_EQ(e.source(), "CGUnZipFiles::Unzip");
      EXPECT_EQ(e.description(), "Overflow");
    }
    EXPECT_EQ(lib->calls().size(), before);
  }
  CGUnzipFiles u;
  u.MessageLevel(32767);
  EXPECT_EQ(u.Unzip(), 0);
}

TEST_F(ArchiveClasses, MissingUnzipLibraryFailsWithTheClassSource) {
  lib->failCall(Call::kUzpVersion2, AutomationError(53, "", "File not found: unzip32.dll"));
  CGUnzipFiles u;
  try {
    u.Unzip();
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), 53);
    EXPECT_EQ(e.source(), "CGUnZipFiles::Unzip");
    EXPECT_EQ(e.description(), "File not found: unzip32.dll");
  }
}

TEST_F(ArchiveClasses, UnzipPrintTurnsALineFeedPieceIntoCrLf) {
  lib->setResult(Call::kWizSingleEntryUnzip, 11);
  lib->duringUnzip([](iz::UnzipUserFunctions& f) {
    f.print("Archive:  a.zip", 15);
    f.print("\n", 1);
    f.print("\nlost", 5);  // the whole piece becomes CR LF
    f.print("abc", 2);     // indices 0 to length - 1
    std::string big(40000, 'y');
    f.print(big.c_str(), 40000);  // never past index 32800
  });
  CGUnzipFiles u;
  EXPECT_EQ(u.Unzip(), 11);
  EXPECT_EQ(u.GetLastMessage(), "Archive:  a.zip\r\n\r\nab" + std::string(32801, 'y'));
  // A zip run empties it.
  CGZipFiles z;
  z.MakeZipFile();
  EXPECT_EQ(u.GetLastMessage(), "");
}

TEST_F(ArchiveClasses, OverwriteQuestionAnswers) {
  ui->answerMessageBox(ui::vbYes);
  ui->answerMessageBox(ui::vbNo);
  ui->answerMessageBox(ui::vbCancel);
  std::vector<int32_t> answers;
  lib->duringUnzip([&](iz::UnzipUserFunctions& f) {
    for (int i = 0; i < 3; ++i) {
      std::vector<char> name(iz::kNameBufferSize, '\0');
      std::string ansi = toAnsi("报告.doc");
      std::memcpy(name.data(), ansi.data(), ansi.size());
      answers.push_back(f.replace(name.data()));
    }
  });
  CGUnzipFiles u;
  u.Unzip();
  EXPECT_EQ(answers, (std::vector<int32_t>{102, 100, 104}));
  ASSERT_EQ(ui->shown().size(), 3u);
  EXPECT_EQ(ui->shown()[0].prompt, "Overwrite 报告.doc?");
  EXPECT_EQ(ui->shown()[0].title, "VBUnZip32 - File Already Exists!");
  EXPECT_EQ(ui->shown()[0].buttons, ui::vbYesNoCancel + ui::vbExclamation);
}

TEST_F(ArchiveClasses, PasswordRefusedOnceIsNotAskedAgainInTheRun) {
  ui->answerInputBox("");
  ui->answerInputBox("秘密");
  std::vector<int32_t> answers;
  std::string written;
  auto ask = [&](iz::UnzipUserFunctions& f) {
    for (int i = 0; i < 2; ++i) {
      char buffer[16];
      std::memset(buffer, 'z', sizeof buffer);
      answers.push_back(f.password(buffer, 16, "Enter password for: ", "a.txt"));
      if (answers.back() == 0) written.assign(buffer, 16);
    }
  };
  lib->duringUnzip(ask);
  CGUnzipFiles u;
  u.Unzip();
  EXPECT_EQ(answers, (std::vector<int32_t>{1, 1}));
  ASSERT_EQ(ui->shown().size(), 1u) << "asked once";
  EXPECT_EQ(ui->shown()[0].prompt, "Please Enter The Password!");
  // The next run asks again, and the answer goes into the buffer as ANSI.
  answers.clear();
  lib->duringUnzip(ask);
  u.Unzip();
  EXPECT_EQ(answers[0], 0);
  std::string expected = toAnsi("秘密");
  expected.resize(16, '\0');
  EXPECT_EQ(written, expected);
}

TEST_F(ArchiveClasses, PasswordLongerThanTheBufferIsCut) {
  ui->answerInputBox("0123456789");
  char buffer[8];
  lib->duringUnzip([&](iz::UnzipUserFunctions& f) { EXPECT_EQ(f.password(buffer, 4, "", ""), 0); });
  CGUnzipFiles u;
  u.Unzip();
  EXPECT_EQ(std::string(buffer, 4), std::string("012\0", 4));
}

TEST_F(ArchiveClasses, ScoringClassZip) {
  // Success, a library failure (one message), a raised failure (no message).
  EXPECT_TRUE(Zip("C:\\a.zip", "C:\\a.txt"));
  const iz::Recorder::Record& a = lib->calls().back();
  EXPECT_EQ(a.argc, 2);
  EXPECT_EQ(a.names[1], "C:\\a.txt");
  EXPECT_EQ(lib->calls()[1].zipOptions.fUpdate, 0);
  EXPECT_TRUE(ui->shown().empty());

  lib->setResult(Call::kZpArchive, 18);
  EXPECT_FALSE(Zip("C:\\a.zip", "C:\\a.txt"));
  ASSERT_EQ(ui->shown().size(), 1u);
  EXPECT_EQ(ui->shown()[0].prompt, "压缩不成功，请检查！");
  EXPECT_EQ(ui->shown()[0].buttons, ui::vbOKOnly);
  EXPECT_EQ(ui->shown()[0].title, "");

  EXPECT_FALSE(Zip("C:\\a.zip", "Querty"));  // the placeholder's key: AddFile fails
  EXPECT_EQ(ui->shown().size(), 1u);
}

TEST_F(ArchiveClasses, ScoringClassUnzip) {
  EXPECT_TRUE(Unzip("C:\\a.zip", "C:\\out"));
  const iz::Recorder::Record& w = lib->calls().back();
  EXPECT_EQ(w.unzipZipName, "C:\\a.zip");
  EXPECT_EQ(w.extractDir, "C:\\out");
  EXPECT_EQ(w.unzipOptions.ndflag, 0);
  EXPECT_EQ(w.unzipOptions.noflag, 1);
  EXPECT_EQ(w.unzipOptions.PromptToOverwrite, 0);
  EXPECT_EQ(w.unzipOptions.fQuiet, 2);

  lib->setResult(Call::kWizSingleEntryUnzip, 9);
  EXPECT_FALSE(Unzip("C:\\a.zip", "C:\\out"));
  ASSERT_EQ(ui->shown().size(), 1u);
  EXPECT_EQ(ui->shown()[0].prompt, "解压缩不成功，请检查！");

  lib->failCall(Call::kWizSingleEntryUnzip, missing("Wiz_SingleEntryUnzip"));
  EXPECT_FALSE(Unzip("C:\\a.zip", "C:\\out"));
  EXPECT_EQ(ui->shown().size(), 1u) << "no message for a raised failure";
}

class Dialogs : public ArchiveClasses {
 protected:
  void TearDown() override { std::filesystem::current_path(saved_); }
  std::filesystem::path saved_ = std::filesystem::current_path();
};

TEST_F(Dialogs, CancelEmptiesTheFileName) {
  for (bool save : {true, false}) {
    ui->answerFileDialog(std::nullopt);
    ui::FileDialog d;
    std::string file = "start.txt";
    std::string result = save ? GetSaveFile(&d, file, Variant("标题"), "文本|*.txt")
                              : GetOpenFile(&d, file, Variant("标题"), "文本|*.txt");
    EXPECT_EQ(result, "");
    EXPECT_EQ(file, "");
    const ui::Recorder::Shown& s = ui->shown().back();
    EXPECT_EQ(s.save, save);
    EXPECT_EQ(s.title, "标题");
    EXPECT_EQ(s.filter, "文本|*.txt");
    EXPECT_EQ(s.defaultText, "start.txt");
    EXPECT_EQ(s.flags, 0);
    EXPECT_TRUE(d.CancelError());
  }
}

TEST_F(Dialogs, ConfirmingGivesTheCurrentFolderAndTheChosenFile) {
  const std::filesystem::path dir = std::filesystem::canonical(::testing::TempDir());
  ui->answerFileDialog((dir / "chosen.txt").string());
  ui::FileDialog d;
  d.Flags(ui::cdlOFNNoChangeDir);  // the method sets no flags
  std::string file;
  EXPECT_EQ(GetOpenFile(&d, file, Variant(), ""), dir.string());
  EXPECT_EQ(file, (dir / "chosen.txt").string());
  EXPECT_EQ(d.Flags(), 0);
}

TEST_F(Dialogs, SomethingThatIsNoDialogFailsTheCall) {
  std::string file = "x";
  try {
    GetSaveFile(nullptr, file, Variant("t"), "");
    FAIL();
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), err::kObjectRequired);
  }
  ui::FileDialog d;
  EXPECT_THROW(GetSaveFile(&d, file, Variant(Null{}), ""), AutomationError);
  EXPECT_EQ(file, "x");
  EXPECT_TRUE(ui->shown().empty());
}

TEST_F(Dialogs, OtherDialogFailuresCountAsAChoice) {
  struct Failing : ui::FileDialog {
    void ShowOpen() override { throw AutomationError(429, "", "no display"); }
  } d;
  std::string file = "C:\\a.txt";
  EXPECT_EQ(GetOpenFile(&d, file, Variant(), ""), std::filesystem::current_path().string());
  EXPECT_EQ(file, "C:\\a.txt");
}

}  // namespace
}  // namespace bq::archive
