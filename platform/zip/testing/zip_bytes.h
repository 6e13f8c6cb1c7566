// Zip archives written for the tests with libzip, and the offsets of their
// records for patching.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace bq::zip::testing {

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
std::string readFile(const std::filesystem::path& file);

// The entries of a small workbook, as an Office package holds them: XML
// parts of a few hundred bytes, deflated. Content types, package
// relationships with the Transitional (or Strict) officeDocument type, a
// workbook whose relationships point at one worksheet and at styles.
std::vector<Entry> workbookEntries(bool strict = false);

// The central-directory record of the entry `name` in zip `bytes`, as an
// offset into `bytes`; for patching declared sizes.
size_t centralRecordOf(const std::string& bytes, const std::string& name);
size_t localHeaderOf(const std::string& bytes, const std::string& name);
void putLe32(std::string& bytes, size_t at, uint32_t value);

// A Zip64 end record claiming 2^40 entries behind a few bytes of junk, with
// the classic end record that points to it: no archive libzip could open.
std::string zip64ClaimBytes();

}  // namespace bq::zip::testing
