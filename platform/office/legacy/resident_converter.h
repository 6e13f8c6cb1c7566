// A LibreOffice that stays running for many conversions of legacy Office
// files, instead of one start per file (legacy_conversion.h).
//
// The converter starts, on first use, a small Python helper
// (uno_converter.py, built into the library) that starts LibreOffice headless
// with a private profile, listening on a private named pipe, and drives it
// through LibreOffice's documented remote interface (UNO): load the file
// hidden and read-only with the named import filter, store it as OOXML with
// the filter `soffice --convert-to` uses, close it. Helper and LibreOffice
// run in a process group of their own.
//
// Restart: when the helper or LibreOffice dies, the group is killed and the
// conversion is tried once more on a fresh start; when a conversion exceeds
// its time, the group is killed, the conversion fails, and the next one
// starts LibreOffice again. A file that crashes or hangs LibreOffice thus
// costs that file, never the converter.
//
// The helper runs on $BQ_UNO_PYTHON when set, else /usr/bin/python3 (the
// distribution's Python, which has the python3-uno bridge), else python3 on
// PATH. LibreOffice is findSoffice().
//
// Thread safety: a converter belongs to one thread. ResidentConversionScope
// installs one for the calling thread; convertLegacyFile uses it while the
// scope lives.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/office/legacy/soffice.h"
#include "platform/office/shared/failure.h"

namespace bq::office {

class ResidentConverter {
 public:
  // `startTimeout` bounds each start of LibreOffice (a first start makes its
  // profile, which takes longest).
  explicit ResidentConverter(std::chrono::milliseconds startTimeout = std::chrono::seconds(120));
  // Ends LibreOffice (asked first, killed after a few seconds).
  ~ResidentConverter();
  ResidentConverter(const ResidentConverter&) = delete;
  ResidentConverter& operator=(const ResidentConverter&) = delete;

  // Converts `input` with LibreOffice's import filter `importFilter` into
  // `output` with the export filter `exportFilter`, within `timeout`.
  // Throws through `failure` when LibreOffice cannot be started or refuses
  // the file (its reason), or the time runs out.
  void convert(const std::filesystem::path& input, const std::string& importFilter,
               const std::filesystem::path& output, const std::string& exportFilter,
               std::chrono::milliseconds timeout, const Failure& failure);

  // How often LibreOffice was started so far.
  int starts() const { return starts_; }
  // The process group of the running helper and LibreOffice, -1 when none
  // runs (for tests that end it from outside).
  pid_t processGroup() const { return pid_; }

 private:
  void start(const Failure& failure);
  void stop(bool kill);
  // Reads one answer line within `timeout`; false when the helper ended or
  // the time ran out (`timedOut` says which).
  bool readLine(std::chrono::milliseconds timeout, std::string& line, bool& timedOut);

  std::chrono::milliseconds startTimeout_;
  std::unique_ptr<TempFolder> folder_;  // profile and script
  pid_t pid_ = -1;
  int toHelper_ = -1;
  int fromHelper_ = -1;
  std::string buffer_;
  int starts_ = 0;
};

// Installs a resident converter for the calling thread for as long as it
// lives (scopes do not nest: an inner one replaces the outer until it ends).
class ResidentConversionScope {
 public:
  ResidentConversionScope();
  ~ResidentConversionScope();
  ResidentConversionScope(const ResidentConversionScope&) = delete;
  ResidentConversionScope& operator=(const ResidentConversionScope&) = delete;
  ResidentConverter& converter() { return converter_; }

 private:
  ResidentConverter converter_;
  ResidentConverter* previous_;
};

// The calling thread's resident converter, or nullptr.
ResidentConverter* residentConverter();

}  // namespace bq::office
