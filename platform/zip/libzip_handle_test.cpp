#include "platform/zip/libzip_handle.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <zip.h>

#include <string>
#include <vector>

#include "platform/zip/archive_bytes.h"
#include "platform/zip/testing/zip_bytes.h"

namespace bq::zip {
namespace {

using Fault = Opening::Fault;

// The file and the memory opening of the same bytes end the same way; a
// refusal closes the file it was given.
TEST(OpenArchive, AFileAndBytesInMemoryOpenAlike) {
  const std::string plain = testing::zipBytes(testing::workbookEntries());
  const struct {
    const char* what;
    std::string bytes;
    uint64_t maxEntries;
    Fault fault;
    uint64_t entries;
    int libzipError;
  } cases[] = {
      {"an archive within its bound", plain, 6, Fault::kNone, 0, 0},
      {"more entries than allowed", plain, 5, Fault::kTooMany, 6, 0},
      {"a Zip64 claim past the bound", testing::zip64ClaimBytes(), 1000, Fault::kClaimsTooMany,
       1ull << 40, 0},
      {"no archive at all", std::string(100, 'x'), 1000, Fault::kRefused, 0, ZIP_ER_NOZIP},
  };
  testing::ScratchDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Opening inMemory = openArchive(c.bytes, c.maxEntries);
    {
      std::FILE* f = std::fopen((dir / "a.zip").c_str(), "wb");
      ASSERT_TRUE(f);
      std::fwrite(c.bytes.data(), 1, c.bytes.size(), f);
      std::fclose(f);
    }
    const int raw = ::open((dir / "a.zip").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(raw, 0);
    const Opening fromFile = openArchive(UniqueFd(raw), c.bytes.size(), c.maxEntries);
    for (const Opening* o : {&inMemory, &fromFile}) {
      EXPECT_EQ(o->fault, c.fault);
      EXPECT_EQ(o->entries, c.entries);
      EXPECT_EQ(o->libzipError, c.libzipError);
      EXPECT_EQ(o->archive != nullptr, c.fault == Fault::kNone);
      if (o->archive) {
        EXPECT_EQ(zip_get_num_entries(o->archive.get(), 0), 6);
      }
    }
    if (c.fault == Fault::kRefused) {
      EXPECT_EQ(inMemory.why, fromFile.why);
    }
    if (c.fault != Fault::kNone) {
      EXPECT_EQ(::fcntl(raw, F_GETFD), -1) << "the refused file stays open";
    }
  }
  EXPECT_EQ(libzipErrorText(ZIP_ER_NOZIP), "Not a zip archive");
}

// Past the end a read gives nothing and near it what is left, from a file
// as from memory.
TEST(ArchiveBytes, ReadsAFileAsItReadsMemory) {
  testing::ScratchDir dir;
  const std::string content = "0123456789";
  {
    std::FILE* f = std::fopen((dir / "b").c_str(), "wb");
    ASSERT_TRUE(f);
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
  }
  const UniqueFd fd(::open((dir / "b").c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_TRUE(fd);
  const ArchiveBytes file = ArchiveBytes::file(fd.get(), content.size());
  const ArchiveBytes memory = ArchiveBytes::memory(content);
  const struct {
    uint64_t at, length;
    const char* expected;
  } cases[] = {{0, 4, "0123"}, {7, 10, "789"}, {10, 1, ""}, {1000, 5, ""}, {3, 0, ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.at);
    EXPECT_EQ(file.readAt(c.at, c.length), c.expected);
    EXPECT_EQ(memory.readAt(c.at, c.length), c.expected);
    std::string buffer;
    EXPECT_EQ(file.view(c.at, c.length, buffer), c.expected);
    EXPECT_EQ(memory.view(c.at, c.length, buffer), c.expected);
  }
}

}  // namespace
}  // namespace bq::zip
