// Sealed database files: a SQLite database image, compressed and encrypted
// under a password. This is the form of the exam database, of the backup
// module's temporary database and of anything opened through the Jet
// provider name ("Provider=Microsoft.Jet.OLEDB.4.0").
//
// Format, version 1 (all integers little-endian, offsets in bytes):
//
//   offset  size  content
//   0       8     magic "BQSEALDB"
//   8       2     format version, 1
//   10      2     reserved, 0
//   12      4     chunk size C: payload bytes per encrypted chunk, 64 .. 16 MiB
//   16      8     Argon2id opslimit (passes)
//   24      8     Argon2id memlimit (bytes)
//   32      8     image size: the length of the SQLite image in bytes
//   40      16    salt
//   56      24    crypto_secretstream_xchacha20poly1305 header
//   80      16    key check: BLAKE2b with a 16-byte output (crypto_generichash) of
//                 bytes 0..79, keyed with the check key
//   96      ...   chunks
//
// Keys: crypto_pwhash with Argon2id version 1.3 (crypto_pwhash_ALG_ARGON2ID13)
// of the password's UTF-8 bytes, the salt, opslimit and memlimit, giving 64
// bytes: the first 32 are the stream key, the last 32 the check key. The key
// check authenticates the header and tells a wrong password (it does not
// match: "Not a valid password.") from a damaged body.
//
// Payload: the SQLite image compressed as one zlib stream (RFC 1950), cut into
// pieces of C bytes; the last piece holds the remaining 1 to C bytes. Each
// piece is pushed through crypto_secretstream_xchacha20poly1305 with the
// stream key and the header above, and written as that piece's length + 17
// bytes: every chunk is C + 17 bytes long except the last. Every chunk but the
// last carries the tag MESSAGE; the last carries FINAL and ends the file.
// No additional data is authenticated with the chunks.
//
// Reading checks everything before the image is used: the header's bounds,
// the key check, every chunk's authentication tag, the FINAL tag on the last
// chunk and nothing after it, a zlib stream that ends exactly with the
// payload, and exactly `image size` bytes out of it. An image of 0 bytes is
// an empty database.
//
// Writing: a new file gets a random salt; a database that changed is sealed
// again on Close under the same salt and parameters (so the derived keys are
// reused) with a fresh random secretstream header.
//
// Failures (AutomationError, source kSealedSource):
//   kNotValidPassword "Not a valid password."   the key check does not match
//                                               (also when a header field was
//                                               damaged within its bounds)
//   kProviderFailed "Unrecognized database format 'NAME'."
//                                               no magic, another version,
//                                               values out of bounds, a header
//                                               cut short
//   kProviderFailed "The database 'NAME' is damaged: WHAT (chunk K at byte
//                   offset N)."                 anything wrong after the header
//   7 "Out of memory"                           Argon2 could not get its memory
//
// Thread safety: the functions may run concurrently. Derived keys are kept in
// a small per-thread cache (keyed by salt, parameters and a keyed hash of the
// password), so a file that is opened again on the same thread skips Argon2.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace bq::db {

inline constexpr size_t kSealedHeaderSize = 96;

// Parameters of a newly sealed file. The defaults (2 passes over 32 MiB, half
// of libsodium's "interactive" memory) take about 25 ms on the development
// machine, 45 ms when its two cores are busy, so that opening the exam
// database stays well under 150 ms even then.
struct SealParams {
  uint64_t opsLimit = 2;
  uint64_t memLimit = 32ull << 20;
  uint32_t chunkSize = 64u << 10;
};

// What a reader accepts from a header before it spends time or memory on it.
// A fuzzing harness should lower maxOpsLimit and maxMemLimit, since every
// input within them costs one Argon2 run of that size.
struct UnsealLimits {
  uint64_t maxOpsLimit = 16;
  uint64_t maxMemLimit = 1ull << 30;
  uint64_t maxImageSize = 1ull << 36;
};

using SealSource = std::function<size_t(std::span<uint8_t>)>;    // 0 only at the end
using SealSink = std::function<void(std::span<const uint8_t>)>;  // takes all bytes

// The keys derived from a password for one salt and one set of parameters.
// Held in guarded memory and wiped when the last owner lets go.
class SealKeys {
 public:
  ~SealKeys();
  SealKeys(const SealKeys&) = delete;
  SealKeys& operator=(const SealKeys&) = delete;

  // Keys for `password` under a fresh random salt and `params`.
  static std::shared_ptr<const SealKeys> derive(std::string_view password,
                                                const SealParams& params);

  uint64_t opsLimit() const { return ops_; }
  uint64_t memLimit() const { return mem_; }
  const uint8_t* salt() const { return salt_; }

 private:
  friend class SealedReader;
  friend class SealedWriter;
  friend struct SealKeysAccess;
  SealKeys();
  uint64_t ops_ = 0;
  uint64_t mem_ = 0;
  uint8_t salt_[16] = {};
  uint8_t* secret_ = nullptr;  // 64 bytes: stream key, check key
};

// Reads a sealed file from a source: the header and the password check on
// construction, the image on readImage().
class SealedReader {
 public:
  // Reads the header from `source` and checks it and the password; throws as
  // described above. `name` is shown in messages (the file's path as given).
  SealedReader(SealSource source, std::string_view password, const UnsealLimits& limits,
               std::string name);

  uint64_t imageSize() const { return imageSize_; }
  uint32_t chunkSize() const { return chunkSize_; }
  // The keys, to seal the changed image again under the same salt.
  std::shared_ptr<const SealKeys> keys() const { return keys_; }

  // Hands the image to `sink` piece by piece; throws on any damage. The sink
  // may have received part of the image when this throws: the caller must
  // discard what it got. Call once.
  void readImage(const SealSink& sink);

 private:
  size_t readFull(std::span<uint8_t> buf);
  [[noreturn]] void damaged(const std::string& what, uint64_t chunk, uint64_t offset) const;

  SealSource source_;
  std::string name_;
  uint64_t imageSize_ = 0;
  uint32_t chunkSize_ = 0;
  uint8_t streamHeader_[24] = {};
  std::shared_ptr<const SealKeys> keys_;
};

// zlib's compression level of a sealed image: its default (6) unless the
// writer asks for another (0 to 9). Readers take any level.
inline constexpr int kDefaultSealLevel = -1;

// Writes a sealed file to a sink: call write() with exactly `imageSize` bytes
// in total, then finish().
class SealedWriter {
 public:
  SealedWriter(std::shared_ptr<const SealKeys> keys, uint64_t imageSize, uint32_t chunkSize,
               SealSink sink, int level = kDefaultSealLevel);
  ~SealedWriter();
  SealedWriter(const SealedWriter&) = delete;
  SealedWriter& operator=(const SealedWriter&) = delete;

  void write(std::span<const uint8_t> bytes);
  // REQUIRES: the bytes written add up to imageSize.
  void finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The sealed form of `image` under `password`.
std::vector<uint8_t> sealImage(std::span<const uint8_t> image, std::string_view password,
                               const SealParams& params = {});

// The SQLite image that the sealed bytes `sealed` hold; throws as described
// above and returns nothing at all on any failure. Made to be fed any bytes.
std::vector<uint8_t> unsealImage(std::span<const uint8_t> sealed, std::string_view password,
                                 const UnsealLimits& limits = {},
                                 std::string_view name = "(memory)");

}  // namespace bq::db
