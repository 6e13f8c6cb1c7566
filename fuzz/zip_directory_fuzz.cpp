// Holds the zip archive's own reading of a plain central directory
// (readPlainDirectory) to libzip's, on arbitrary bytes taken as an archive.
//
// Invariants:
// - a directory read as plain is one that libzip opens, with the same
//   entries in the same order: names, sizes, compressed sizes, methods,
//   CRCs, none encrypted;
// - ZipArchive opens the bytes with the plain reading exactly when it opens
//   them with libzip reading the directory (or both refuse with the same
//   text), and lists the same entries;
// - every entry reads to the same bytes either way, or is refused either way;
// - what ZipArchive reads of an entry is what libzip's own stream gives (a
//   stored entry both give or both refuse, except one without data, whose
//   CRC libzip does not check; a deflated one may be refused by one
//   inflater alone, libdeflate's strictness against zlib's, never the
//   directory's doing, since both ways above share the inflater).
//
// The seeds (fuzz/seeds/zip_directory_fuzz, made by zip_directory_seeds.py)
// are small archives as Office, LibreOffice, Info-ZIP and Python write them,
// and a few that are not plain.
#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/automation_error.h"
#include "fuzz/checks.h"
#include "platform/zip/libzip_handle.h"
#include "platform/zip/zip_archive.h"

namespace {

using bq::zip::Failure;
using bq::zip::ZipArchive;
using bq::zip::ZipEntry;
using bqfuzz::check;

const Failure kFailure{1004, "ZipFuzz", "fuzz.zip"};
// The bounds of an Office package.
const bq::zip::Bounds kBounds{10'000, 512ull << 20, 200, 1ull << 20};

// Entries read per input: the plain reading treats every record alike, and
// each read may fill a buffer of up to the ratio-checked bound.
constexpr size_t kEntriesRead = 64;

using LibzipArchive = bq::zip::ArchiveHandle;

LibzipArchive openWithLibzip(const std::string& bytes) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  zip_t* za = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
  if (source && !za) zip_source_free(source);
  zip_error_fini(&error);
  return LibzipArchive(za);
}

// libzip's listing, as ZipArchive would take it (ZipArchive::load).
std::vector<ZipEntry> libzipListing(zip_t* za) {
  std::vector<ZipEntry> entries;
  const zip_int64_t count = zip_get_num_entries(za, 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    check(zip_stat_index(za, static_cast<zip_uint64_t>(i), 0, &st) == 0 && st.name,
          "libzip cannot stat an entry it listed");
    ZipEntry e{st.name, static_cast<uint64_t>(i), st.size, st.comp_size};
    e.method = st.comp_method;
    e.crc = st.crc;
    e.plain = st.encryption_method == ZIP_EM_NONE;
    entries.push_back(std::move(e));
  }
  return entries;
}

// check(ok, what), naming the entry and what each side made of it.
void checkEntry(bool ok, const char* what, const ZipEntry& entry, const std::string* content,
                const std::optional<std::string>& other) {
  if (!ok)
    std::fprintf(stderr, "entry %llu \"%s\" (method %u, %llu of %llu bytes): %s, %s\n",
                 static_cast<unsigned long long>(entry.index), entry.name.c_str(), entry.method,
                 static_cast<unsigned long long>(entry.compressedSize),
                 static_cast<unsigned long long>(entry.size), content ? "read" : "refused",
                 other ? "read" : "refused");
  check(ok, what);
}

bool sameEntry(const ZipEntry& a, const ZipEntry& b) {
  return a.name == b.name && a.index == b.index && a.size == b.size &&
         a.compressedSize == b.compressedSize && a.method == b.method && a.crc == b.crc &&
         a.plain == b.plain;
}

// An entry's content, or the text of its refusal.
using Outcome = std::variant<std::string, bq::AutomationError>;

Outcome readEntry(const ZipArchive& zip, const ZipEntry& entry) {
  try {
    return zip.read(entry, kFailure);
  } catch (const bq::AutomationError& e) {
    check(e.number() == kFailure.number, "a refusal with another number");
    return e;
  }
}

// libzip's own stream of entry `index` (decompressed, its CRC checked), up
// to one byte more than `size`; nullopt when libzip refuses it.
std::optional<std::string> libzipContent(zip_t* za, uint64_t index, uint64_t size) {
  zip_file_t* file = zip_fopen_index(za, index, 0);
  if (!file) return std::nullopt;
  std::string out(static_cast<size_t>(size) + 1, '\0');
  size_t got = 0;
  bool failed = false;
  while (got < out.size()) {
    const zip_int64_t n = zip_fread(file, out.data() + got, out.size() - got);
    if (n < 0) failed = true;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  zip_fclose(file);
  if (failed || got != size) return std::nullopt;
  out.resize(got);
  return out;
}

std::optional<ZipArchive> open(const std::string& bytes, ZipArchive::DirectoryReader reader,
                               std::string& refusal) {
  try {
    return ZipArchive::fromBytes(bytes, kBounds, kFailure, reader);
  } catch (const bq::AutomationError& e) {
    check(e.number() == kFailure.number, "a refusal with another number");
    refusal = e.description();
    return std::nullopt;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const auto plain = bq::zip::readPlainDirectory(bytes);
  const LibzipArchive peer = openWithLibzip(bytes);

  if (plain) {
    check(peer != nullptr, "a plain directory that libzip refuses");
    const std::vector<ZipEntry> listed = libzipListing(peer.get());
    check(listed.size() == plain->size(), "a plain directory with another entry count");
    for (size_t i = 0; i < listed.size(); ++i)
      check(sameEntry((*plain)[i].entry, listed[i]), "a plain entry unlike libzip's");
  }

  std::string ourRefusal, peerRefusal;
  const std::optional<ZipArchive> ours =
      open(bytes, ZipArchive::DirectoryReader::kPlainWhenPossible, ourRefusal);
  // Without a plain directory both ways are libzip's: one opening is enough.
  std::optional<ZipArchive> throughLibzip;
  if (plain) {
    throughLibzip = open(bytes, ZipArchive::DirectoryReader::kLibzip, peerRefusal);
    check(ours.has_value() == throughLibzip.has_value(),
          "opened with one directory reader and refused with the other");
    check(ourRefusal == peerRefusal, "refused for another reason");
  }
  if (!ours) return 0;
  check(peer != nullptr, "ZipArchive opened what libzip refuses");

  const std::vector<ZipEntry>& entries = ours->entries();
  if (throughLibzip) {
    check(entries.size() == throughLibzip->entries().size(), "another entry count through libzip");
    for (size_t i = 0; i < entries.size(); ++i)
      check(sameEntry(entries[i], throughLibzip->entries()[i]), "another entry through libzip");
  }
  for (size_t i = 0; i < entries.size() && i < kEntriesRead; ++i) {
    const ZipEntry& entry = entries[i];
    const Outcome got = readEntry(*ours, entry);
    const std::string* content = std::get_if<std::string>(&got);
    if (throughLibzip) {
      const Outcome other = readEntry(*throughLibzip, throughLibzip->entries()[i]);
      const std::string* otherContent = std::get_if<std::string>(&other);
      check((content == nullptr) == (otherContent == nullptr),
            "an entry read with one directory reader and refused with the other");
      check(!content || *content == *otherContent, "an entry read to other bytes through libzip");
    }
    if (!entry.plain) continue;
    const std::optional<std::string> streamed = libzipContent(peer.get(), entry.index, entry.size);
    checkEntry(!content || !streamed || *content == *streamed,
               "an entry unlike libzip's stream of it", entry, content, streamed);
    // libzip gives an entry without data as empty without checking its CRC
    // or its size; ZipArchive checks them.
    const bool unchecked = entry.compressedSize == 0 && streamed && streamed->empty();
    if (entry.method != ZIP_CM_DEFLATE && !unchecked)
      checkEntry((content != nullptr) == streamed.has_value(),
                 "an entry that is not deflated read by one and refused by libzip's stream", entry,
                 content, streamed);
  }
  return 0;
}
