// CGZipFiles (programmatic identifier "BrightquillCom.CGZipFiles"): collects
// file names and writes them into a zip archive through ZipModule.
//
// The list starts with the placeholder "querty", which stays first, goes to
// the library as the first name (which reports it as not matched) and is not
// counted by ZipFileCount. Names are keyed without regard to case.
//
// Failures: AddFile and RemoveFile throw AutomationError 0x800407D1 "File is
// already in Zip List" (source "CGZip::AddFile") and 0x800407D2 "File is not
// in Zip List" (source "CGZip::RemoveFile"); MakeZipFile rethrows any failure
// with source "CGZipFiles::MakeZipFile" (more than 99 added names: error 9).
//
// Thread safety: an object is used on its creating thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/variant.h"

namespace bq::archive {

inline constexpr int32_t kFileAlreadyInList = static_cast<int32_t>(0x800407D1);
inline constexpr int32_t kFileNotInList = static_cast<int32_t>(0x800407D2);

class CGZipFiles {
 public:
  static constexpr const char* kProgId = "BrightquillCom.CGZipFiles";

  CGZipFiles();

  bool RecurseFolders() const { return recurseFolders_ == 1; }
  void RecurseFolders(bool value) { recurseFolders_ = value ? 1 : 0; }
  std::string ZipFileName() const { return zipFileName_; }
  void ZipFileName(const std::string& value) { zipFileName_ = value; }
  bool Encrypted() const { return encrypted_ == 1; }
  void Encrypted(bool value) { encrypted_ = value ? 1 : 0; }
  bool IncludeSystemFiles() const { return includeSystemFiles_ == 1; }
  void IncludeSystemFiles(bool value) { includeSystemFiles_ = value ? 1 : 0; }
  int32_t ZipFileCount() const;
  std::string RootDirectory() const { return rootDirectory_; }
  void RootDirectory(const std::string& value) { rootDirectory_ = value; }
  bool UpdatingZip() const { return updatingZip_ == 1; }
  void UpdatingZip(bool value) { updatingZip_ = value ? 1 : 0; }

  Variant AddFile(const std::string& sFileName);
  Variant RemoveFile(const std::string& sFileName);
  // The library's result: 0 when the archive was written.
  int32_t MakeZipFile();
  std::string GetLastMessage() const;

 private:
  // The position of the entry keyed `key` (without regard to case), or npos.
  size_t find(const std::string& key) const;

  int16_t recurseFolders_ = 0;
  std::string zipFileName_;
  int16_t encrypted_ = 0;
  int16_t includeSystemFiles_ = 0;
  std::string rootDirectory_ = "\\";
  int16_t updatingZip_ = 0;
  std::vector<std::string> files_;  // item and key are the same text
};

}  // namespace bq::archive
