// Zip archives and small Office packages written for the tests with libzip.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/automation_error.h"
#include "platform/zip/testing/zip_bytes.h"

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

// Zip archives as the zip layer's tests write them.
using zip::testing::Entry;
using zip::testing::readFile;
using zip::testing::ScratchDir;
using zip::testing::writeZip;
using zip::testing::zipBytes;

void writeFile(const std::filesystem::path& file, const std::string& bytes);

// The parts of a small workbook (Transitional, or Strict).
using zip::testing::workbookEntries;

// The four parts that head a test workbook: content types (xml and rels by
// default), package relationships to xl/workbook.xml, the workbook with the
// <sheet> elements `sheets`, and its relationships `relationships`.
std::vector<Entry> workbookHead(const std::string& sheets, const std::string& relationships);

// The records of an entry in zip bytes, for patching declared sizes.
using zip::testing::centralRecordOf;
using zip::testing::localHeaderOf;
using zip::testing::putLe32;

}  // namespace bq::office::testing
