#include "archive/cg_unzip_files.h"

#include <limits>

#include "archive/zip_module.h"
#include "common/automation_error.h"

namespace bq::archive {
namespace {

// The 16-bit number an enumeration property goes to the run as.
int16_t narrow(int32_t value) {
  if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max()) {
    raiseError(err::kOverflow);
  }
  return static_cast<int16_t>(value);
}

}  // namespace

int32_t CGUnzipFiles::Unzip(const std::optional<std::string>& sZipFileName,
                            const std::optional<std::string>& sExtractDir) {
  try {
    if (sZipFileName && !sZipFileName->empty()) zipFileName_ = *sZipFileName;
    if (sExtractDir && !sExtractDir->empty()) extractDir_ = *sExtractDir;
    UnzipFlags flags;
    flags.ExtractOnlyNewer = extractOnlyNewer_;
    flags.SpaceToUnderScore = spaceToUnderScore_;
    flags.PromptOverwrite = promptOverwrite_;
    flags.MessageLevel = narrow(messageLevel_);
    flags.WriteToStdOut = writeToStdOut_;
    flags.TestZip = testZip_;
    flags.ExtractList = narrow(extractList_);
    flags.ExtractNewer = extractNewer_;
    flags.DisplayComment = displayComment_;
    flags.HonorDirectories = honorDirectories_;
    flags.OverWriteFiles = overWriteFiles_;
    flags.ConvertCRtoCRLF = convertCRtoCRLF_;
    flags.Verbose = verbose_;
    flags.CaseSensitive = caseSensitive_;
    flags.Privilege = narrow(privilege_);
    return VBUnzip(zipFileName_, extractDir_, flags);
  } catch (const AutomationError& e) {
    throw AutomationError(e.number(), "CGUnZipFiles::Unzip", e.description());
  }
}

std::string CGUnzipFiles::GetLastMessage() const { return LastMessage(); }

}  // namespace bq::archive
