#include "archive/cg_zip_files.h"

#include "archive/zip_module.h"
#include "common/automation_error.h"
#include "common/text.h"

namespace bq::archive {
namespace {

constexpr const char* kPlaceholder = "querty";

}  // namespace

CGZipFiles::CGZipFiles() { files_.push_back(kPlaceholder); }

size_t CGZipFiles::find(const std::string& key) const {
  const std::u16string wanted = ucase16(toUtf16(key));
  for (size_t i = 0; i < files_.size(); ++i) {
    if (ucase16(toUtf16(files_[i])) == wanted) return i;
  }
  return std::string::npos;
}

int32_t CGZipFiles::ZipFileCount() const { return static_cast<int32_t>(files_.size()) - 1; }

Variant CGZipFiles::AddFile(const std::string& sFileName) {
  const size_t at = find(sFileName);
  if (at != std::string::npos && !files_[at].empty()) {
    throw AutomationError(kFileAlreadyInList, "CGZip::AddFile", "File is already in Zip List");
  }
  // The list refuses a second entry with the same key (an empty name added twice).
  if (at != std::string::npos) raiseError(err::kKeyExists);
  files_.push_back(sFileName);
  return Variant();
}

Variant CGZipFiles::RemoveFile(const std::string& sFileName) {
  const size_t at = find(sFileName);
  if (at == std::string::npos || files_[at].empty()) {
    throw AutomationError(kFileNotInList, "CGZip::RemoveFile", "File is not in Zip List");
  }
  files_.erase(files_.begin() + static_cast<std::ptrdiff_t>(at));
  return Variant();
}

int32_t CGZipFiles::MakeZipFile() {
  try {
    ZipNameList names;
    int32_t count = 0;
    for (const std::string& f : files_) {
      if (count >= static_cast<int32_t>(names.size())) raiseError(err::kSubscript);
      names[static_cast<size_t>(count++)] = f;
    }
    return VBZip(count, zipFileName_, names, 0, recurseFolders_, updatingZip_, 0, rootDirectory_);
  } catch (const AutomationError& e) {
    throw AutomationError(e.number(), "CGZipFiles::MakeZipFile", e.description());
  }
}

std::string CGZipFiles::GetLastMessage() const { return LastMessage(); }

}  // namespace bq::archive
