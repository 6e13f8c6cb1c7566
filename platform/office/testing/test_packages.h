// Zip archives and small Office packages written for the tests with libzip.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/automation_error.h"

namespace bq::office::testing {

// Namespaces the test parts are written in.
inline const std::string kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline const std::string kRel =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
inline const std::string kPkgRel = "http://schemas.openxmlformats.org/package/2006/relationships";
inline const std::string kXdr =
    "http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing";
inline const std::string kA = "http://schemas.openxmlformats.org/drawingml/2006/main";
inline const std::string kC = "http://schemas.openxmlformats.org/drawingml/2006/chart";

// The error of `fn`; fails the test when it throws none.
template <typename Fn>
AutomationError errorOf(Fn&& fn) {
  try {
    fn();
  } catch (const AutomationError& e) {
    return e;
  }
  ADD_FAILURE() << "no error";
  return AutomationError(0, "", "");
}

struct Entry {
  std::string name;
  std::string data;
  bool store = false;  // stored instead of deflated
  int method = -1;     // another compression method (ZIP_CM_*), when not -1
};

// A private folder, removed with its content at the end of the test.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Writes the archive of `entries`, in their order, to `file`.
void writeZip(const std::filesystem::path& file, const std::vector<Entry>& entries);
// The bytes of that archive.
std::string zipBytes(const std::vector<Entry>& entries);

void writeFile(const std::filesystem::path& file, const std::string& bytes);
std::string readFile(const std::filesystem::path& file);

// The parts of a small workbook: content types, package relationships with
// the Transitional (or Strict) officeDocument type, a workbook whose
// relationships point at one worksheet and at styles.
std::vector<Entry> workbookEntries(bool strict = false);

// The four parts that head a test workbook: content types (xml and rels by
// default), package relationships to xl/workbook.xml, the workbook with the
// <sheet> elements `sheets`, and its relationships `relationships`.
std::vector<Entry> workbookHead(const std::string& sheets, const std::string& relationships);

// The central-directory record of the entry `name` in zip `bytes`, as an
// offset into `bytes`; for patching declared sizes.
size_t centralRecordOf(const std::string& bytes, const std::string& name);
size_t localHeaderOf(const std::string& bytes, const std::string& name);
void putLe32(std::string& bytes, size_t at, uint32_t value);

}  // namespace bq::office::testing
