// CGUnzipFiles (programmatic identifier "BrightquillCom.CGUnzipFiles"):
// extracts, tests or lists a zip archive through ZipModule.
//
// Boolean properties are stored as 16-bit 1 or 0 and read true exactly when
// 1; the three enumeration properties are stored as 32-bit numbers and
// narrowed to 16 bits for each run, so a value outside -32768..32767 fails
// the run with error 6 "Overflow".
//
// Failures: Unzip rethrows any failure (a missing library, an overflow) with
// source "CGUnZipFiles::Unzip"; the library's non-zero results are returned.
//
// Thread safety: an object is used on its creating thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace bq::archive {

enum ZMessageLevel : int32_t { All = 0, Less = 1, NoMessages = 2 };
enum ZExtractType : int32_t { Extract = 0, ListContents = 1 };
enum ZPrivilege : int32_t { Ignore = 0, ACL = 1, Privileges = 2 };
enum ZTranslate : int32_t { CRLFtoLF = 1, LFtoCRLF = 2 };

class CGUnzipFiles {
 public:
  static constexpr const char* kProgId = "BrightquillCom.CGUnzipFiles";

#define BQ_UNZIP_BOOL(Name, member)                     \
  bool Name() const { return member == 1; }             \
  void Name(bool value) { member = value ? 1 : 0; }
  BQ_UNZIP_BOOL(ExtractNewer, extractNewer_)
  BQ_UNZIP_BOOL(SpaceToUnderScore, spaceToUnderScore_)
  BQ_UNZIP_BOOL(PromptOverwrite, promptOverwrite_)
  BQ_UNZIP_BOOL(WriteToStdOut, writeToStdOut_)
  BQ_UNZIP_BOOL(TestZip, testZip_)
  BQ_UNZIP_BOOL(ExtractOnlyNewer, extractOnlyNewer_)
  BQ_UNZIP_BOOL(DisplayComment, displayComment_)
  BQ_UNZIP_BOOL(HonorDirectories, honorDirectories_)
  BQ_UNZIP_BOOL(OverWriteFiles, overWriteFiles_)
  BQ_UNZIP_BOOL(ConvertCRtoCRLF, convertCRtoCRLF_)
  BQ_UNZIP_BOOL(Verbose, verbose_)
  BQ_UNZIP_BOOL(CaseSensitive, caseSensitive_)
#undef BQ_UNZIP_BOOL

  int32_t MessageLevel() const { return messageLevel_; }
  void MessageLevel(int32_t value) { messageLevel_ = value; }
  int32_t ExtractList() const { return extractList_; }
  void ExtractList(int32_t value) { extractList_ = value; }
  int32_t Privilege() const { return privilege_; }
  void Privilege(int32_t value) { privilege_ = value; }
  std::string ZipFileName() const { return zipFileName_; }
  void ZipFileName(const std::string& value) { zipFileName_ = value; }
  std::string ExtractDir() const { return extractDir_; }
  void ExtractDir(const std::string& value) { extractDir_ = value; }

  // Non-empty arguments replace ZipFileName and ExtractDir first. The
  // library's result: 0 when the archive was extracted.
  int32_t Unzip(const std::optional<std::string>& sZipFileName = std::nullopt,
                const std::optional<std::string>& sExtractDir = std::nullopt);
  std::string GetLastMessage() const;

 private:
  int16_t extractNewer_ = 0;
  int16_t spaceToUnderScore_ = 0;
  int16_t promptOverwrite_ = 0;
  int32_t messageLevel_ = NoMessages;
  int16_t writeToStdOut_ = 0;
  int16_t testZip_ = 0;
  int32_t extractList_ = Extract;
  int16_t extractOnlyNewer_ = 0;
  int16_t displayComment_ = 0;
  int16_t honorDirectories_ = 1;
  int16_t overWriteFiles_ = 1;
  int16_t convertCRtoCRLF_ = 0;
  int16_t verbose_ = 0;
  int16_t caseSensitive_ = 1;
  int32_t privilege_ = Ignore;
  std::string zipFileName_;
  std::string extractDir_;
};

}  // namespace bq::archive
