// A library for tests: records every call with a copy of the records it was
// given, field by field (texts copied, so they outlive the caller's
// buffers), and answers from a script.
//
// While ZpArchive or Wiz_SingleEntryUnzip runs, the scripted actions for it
// run in order, each with the routines the call was given, so a test can
// call the print, replace or password routine as the library would and
// check the answers. An entry point can be made to fail as a missing
// library or function does.
//
// Usage:
//   auto rec = std::make_shared<bq::infozip::Recorder>();
//   rec->duringUnzip([](bq::infozip::UnzipUserFunctions& f) { f.print("x", 1); });
//   bq::infozip::ScopedLibrary scope(rec);
//   CodeUnderTest();
//   EXPECT_EQ(rec->calls().at(1).call, bq::infozip::Recorder::Call::kWizSingleEntryUnzip);
//
// Thread safety: like every library object, used on the thread it was set for.
#pragma once

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/automation_error.h"
#include "platform/infozip/infozip.h"

namespace bq::infozip {

class Recorder final : public Library {
 public:
  enum class Call { kZpInit, kZpSetOptions, kZpArchive, kUzpVersion2, kWizSingleEntryUnzip };

  using Text = std::optional<std::string>;  // nullopt: a null pointer; else the ANSI bytes
  using NameList = std::array<Text, kNameListSize>;

  // One call as it was made.
  struct Record {
    Call call = Call::kZpInit;
    ZipUserFunctions zipFunctions;    // ZpInit
    ZipOptions zipOptions;            // ZpSetOptions (its text pointers cleared)
    Text date, rootDir;               // ZpSetOptions: fields 29 and 30
    int32_t argc = 0;                 // ZpArchive
    Text zipName;                     // ZpArchive
    NameList names;                   // ZpArchive: all 100 entries
    UnzipVersion version;             // UzpVersion2, as the caller filled it
    int32_t includeCount = 0;         // Wiz_SingleEntryUnzip
    int32_t excludeCount = 0;
    NameList include, exclude;        // all 100 entries of each list
    UnzipOptions unzipOptions;        // text pointers cleared
    Text unzipZipName, extractDir;    // fields 16 and 17
    UnzipUserFunctions unzipFunctions;  // as given, before the run
  };

  // Scripts the result of the next calls of `call` (default: 1 for ZpInit
  // and ZpSetOptions, 0 for the others).
  void setResult(Call call, int32_t result) { results_[call] = result; }
  // Makes every later call of `call` throw `error` (a missing entry point).
  void failCall(Call call, AutomationError error) { failures_.insert_or_assign(call, error); }
  // Actions run during the next ZpArchive / Wiz_SingleEntryUnzip call.
  void duringZpArchive(std::function<void(const ZipUserFunctions&)> action) {
    zipActions_.push_back(std::move(action));
  }
  void duringUnzip(std::function<void(UnzipUserFunctions&)> action) {
    unzipActions_.push_back(std::move(action));
  }

  const std::vector<Record>& calls() const { return calls_; }

  int32_t ZpInit(const ZipUserFunctions& functions) override;
  int32_t ZpSetOptions(const ZipOptions& options) override;
  int32_t ZpArchive(int32_t argc, const char* zipName, const ZipNames& names) override;
  int32_t UzpVersion2(UnzipVersion& version) override;
  int32_t Wiz_SingleEntryUnzip(int32_t includeCount, const char* const* include,
                               int32_t excludeCount, const char* const* exclude,
                               const UnzipOptions& options, UnzipUserFunctions& functions) override;

 private:
  Record& begin(Call call);
  int32_t resultOf(Call call, int32_t byDefault) const;

  std::vector<Record> calls_;
  std::map<Call, int32_t> results_;
  std::map<Call, AutomationError> failures_;
  ZipUserFunctions registered_;  // what ZpInit registered, for the actions
  std::deque<std::function<void(const ZipUserFunctions&)>> zipActions_;
  std::deque<std::function<void(UnzipUserFunctions&)>> unzipActions_;
};

}  // namespace bq::infozip
