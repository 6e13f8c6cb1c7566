// What a caller that hands answer files to the extractors needs around them:
// the size bound of the files they open, private folders to put an answer
// in, and the LibreOffice that opens legacy answers (.doc, .xls, .ppt) for
// them, kept running for a thread and asked for conversions of its own.
//
// The extractors convert a legacy answer with LibreOffice each time they
// open it: one start of the program per file, unless a ResidentOffice lives
// on the thread, which keeps one LibreOffice running for all of them.
//
// Failures: AutomationError(number, source, subject + ": " + reason), with
// the number, source and subject of the caller's FailureAs.
//
// Thread safety: a ResidentOffice belongs to the thread that made it; the
// other functions may be called from any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace bq::scoring {

// The largest answer file the extractors open: a larger one cannot be opened.
inline constexpr uint64_t kMaxAnswerBytes = 256ull << 20;

// How a failure of the functions below is reported (see above).
struct FailureAs {
  int32_t number = 0;
  std::string source;
  std::string subject;
};

// A private (0700) folder under the system's temporary folder ($TMPDIR, else
// /tmp), removed with everything in it when the object is destroyed. Throws
// when the folder cannot be made.
class PrivateFolder {
 public:
  PrivateFolder(std::string_view prefix, const FailureAs& failure);
  ~PrivateFolder();
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;
  const std::filesystem::path& path() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The LibreOffice program that converts legacy answers ($BQ_SOFFICE, else
// soffice on PATH, else Debian's); empty when none is installed, and legacy
// answers then cannot be opened.
std::filesystem::path officeProgram();

// One LibreOffice kept running for the calling thread's conversions for as
// long as the object lives (started on first use). Objects do not nest: an
// inner one replaces the outer until it ends.
class ResidentOffice {
 public:
  ResidentOffice();
  ~ResidentOffice();
  ResidentOffice(const ResidentOffice&) = delete;
  ResidentOffice& operator=(const ResidentOffice&) = delete;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Whether a ResidentOffice lives on the calling thread.
bool hasResidentOffice();

// Converts `input` with LibreOffice's import filter `importFilter` into
// `output` with the export filter `exportFilter` ("MS Word 97", "Calc MS
// Excel 2007 XML" ...), on the calling thread's resident LibreOffice, within
// the time the extractors allow one legacy answer. Throws when LibreOffice
// cannot be started, refuses the file or runs out of time.
// REQUIRES: hasResidentOffice().
void convertOnResidentOffice(const std::filesystem::path& input, const std::string& importFilter,
                             const std::filesystem::path& output, const std::string& exportFilter,
                             const FailureAs& failure);

}  // namespace bq::scoring
