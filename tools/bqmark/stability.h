// The documents of a question as the examinee's editor saves them.
//
// An examinee on Linux edits the question document with LibreOffice, which
// writes the whole file anew on every save: points of the document that it
// cannot keep (a layout it renumbers, a property it drops or adds) change
// although the examinee changed nothing. The answer key's build opens each
// question document and model answer with LibreOffice and saves it in each
// format the examinee may save in:
//
//   kept format   OOXML, as the file was (Word 2007, Excel 2007, PowerPoint
//                 2007 XML filters)
//   legacy        the binary 97 format that the legacy name (.doc, .xls,
//                 .ppt) stands for
//
// through the thread's resident LibreOffice (scoring/answer_files.h), and
// the points that such a round trip changes count as unstable. A legacy copy
// is converted back to OOXML at once, as the Office readers would convert it,
// so that reading the copies again needs no LibreOffice.
//
// Saved files are kept in a cache folder under the SHA-256 of the original's
// bytes, the format and LibreOffice's build (its program folder's versionrc),
// so a build whose documents did not change costs no LibreOffice start. The
// folder is $BQ_ROUNDTRIP_CACHE, else $XDG_CACHE_HOME/brightquill/roundtrips,
// else ~/.cache/brightquill/roundtrips (/tmp/brightquill-roundtrips without a
// home); a cache entry is written beside and renamed into place.
//
// Thread safety: a RoundTrips belongs to one thread. It converts with that
// thread's resident converter, and installs one of its own on first use when
// the thread has none (so a RoundTrips must end before a scope made after it).
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "scoring/answer_files.h"
#include "tools/bqmark/marking.h"

namespace bq::mark {

// One round trip of a document.
struct SavedCopy {
  std::string format;  // "docx", "doc", ...: the format it was saved in
  // The saved file (in the cache) as an OOXML package, as the Office readers
  // read it (a legacy copy converted back as they would convert it); empty
  // when LibreOffice failed.
  std::filesystem::path file;
  std::string failure;  // why LibreOffice could not save it
};

class RoundTrips {
 public:
  // `cache` empty: the default folder (see above).
  explicit RoundTrips(std::filesystem::path cache = {});
  ~RoundTrips();
  RoundTrips(const RoundTrips&) = delete;
  RoundTrips& operator=(const RoundTrips&) = delete;

  // Whether LibreOffice is installed.
  bool available() const { return available_; }

  // The document `file` of `kind` (WORDTEST, WORDTABLE, EXCEL, POWERPOINT) as
  // LibreOffice saves it, once per format. Nothing for other kinds or without
  // LibreOffice.
  std::vector<SavedCopy> saved(Kind kind, const std::filesystem::path& file);

  // LibreOffice conversions run so far (cache misses).
  int conversions() const { return conversions_; }

 private:
  // Puts `file` into the cache as `cached` (or a private folder when the
  // cache cannot be written) and returns where it is.
  std::filesystem::path keep(const std::filesystem::path& file, const std::filesystem::path& cached,
                             const scoring::FailureAs& failure);
  std::filesystem::path cache_;
  bool available_ = false;
  std::string build_;  // LibreOffice's build, part of every cache key
  std::unique_ptr<scoring::ResidentOffice> resident_;
  // Saved copies when the cache cannot be written.
  std::unique_ptr<scoring::PrivateFolder> scratch_;
  int conversions_ = 0;
};

// The default cache folder (see above).
std::filesystem::path defaultRoundTripCache();

}  // namespace bq::mark
