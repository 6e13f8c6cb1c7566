#include "platform/db/sealed.h"

#include <sodium.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

#include "common/automation_error.h"
#include "platform/codec/codec.h"
#include "platform/db/errors.h"

namespace bq::db {
namespace {

constexpr uint8_t kMagic[8] = {'B', 'Q', 'S', 'E', 'A', 'L', 'D', 'B'};
constexpr uint16_t kVersion = 1;
constexpr uint32_t kMinChunk = 64;
constexpr uint32_t kMaxChunk = 16u << 20;
constexpr size_t kTagBytes = crypto_secretstream_xchacha20poly1305_ABYTES;
constexpr size_t kKeyCheckOffset = 80;
static_assert(crypto_secretstream_xchacha20poly1305_HEADERBYTES == 24);
static_assert(crypto_secretstream_xchacha20poly1305_KEYBYTES == 32);
static_assert(crypto_pwhash_SALTBYTES == 16);

void ensureSodium() {
  static const int ready = sodium_init();
  if (ready < 0) raiseError(err::kOutOfMemory, kSealedSource);
}

void putLe(uint8_t* p, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint64_t getLe(const uint8_t* p, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

[[noreturn]] void unrecognised(const std::string& name) {
  throw AutomationError(kProviderFailed, kSealedSource,
                        "Unrecognized database format '" + name + "'.");
}

// A per-thread cache of derived keys, so that a file opened again (the backup
// module opens its temporary database many times) does not run Argon2 each time.
struct CacheEntry {
  std::array<uint8_t, 16> salt;
  uint64_t ops;
  uint64_t mem;
  std::array<uint8_t, 32> passwordTag;
  std::shared_ptr<const SealKeys> keys;
};

// The password is never kept: only a hash of it under a key chosen at random
// for the process.
std::array<uint8_t, 32> passwordTag(std::string_view password) {
  static const std::array<uint8_t, crypto_generichash_KEYBYTES> tagKey = [] {
    std::array<uint8_t, crypto_generichash_KEYBYTES> k;
    randombytes_buf(k.data(), k.size());
    return k;
  }();
  std::array<uint8_t, 32> tag;
  crypto_generichash(tag.data(), tag.size(), reinterpret_cast<const uint8_t*>(password.data()),
                     password.size(), tagKey.data(), tagKey.size());
  return tag;
}

thread_local std::deque<CacheEntry> keyCache;
constexpr size_t kKeyCacheSize = 8;

}  // namespace

// Internal access to the secret bytes, for reader and writer.
struct SealKeysAccess {
  static const uint8_t* streamKey(const SealKeys& k) { return k.secret_; }
  static const uint8_t* checkKey(const SealKeys& k) { return k.secret_ + 32; }

  static std::shared_ptr<const SealKeys> derive(std::string_view password, const uint8_t* salt,
                                                uint64_t ops, uint64_t mem) {
    ensureSodium();
    std::array<uint8_t, 16> saltArray;
    std::memcpy(saltArray.data(), salt, 16);
    const auto tag = passwordTag(password);
    for (auto it = keyCache.begin(); it != keyCache.end(); ++it) {
      if (it->salt == saltArray && it->ops == ops && it->mem == mem && it->passwordTag == tag) {
        auto keys = it->keys;
        keyCache.erase(it);
        keyCache.push_front({saltArray, ops, mem, tag, keys});
        return keys;
      }
    }
    std::shared_ptr<SealKeys> keys(new SealKeys());
    keys->ops_ = ops;
    keys->mem_ = mem;
    std::memcpy(keys->salt_, salt, 16);
    if (crypto_pwhash(keys->secret_, 64, password.data(), password.size(), salt,
                      static_cast<unsigned long long>(ops), static_cast<size_t>(mem),
                      crypto_pwhash_ALG_ARGON2ID13) != 0) {
      raiseError(err::kOutOfMemory, kSealedSource);
    }
    keyCache.push_front({saltArray, ops, mem, tag, keys});
    if (keyCache.size() > kKeyCacheSize) keyCache.pop_back();
    return keys;
  }

  static void keyCheck(const SealKeys& keys, const uint8_t* header, uint8_t out[16]) {
    crypto_generichash(out, 16, header, kKeyCheckOffset, checkKey(keys), 32);
  }
};

SealKeys::SealKeys() {
  ensureSodium();
  secret_ = static_cast<uint8_t*>(sodium_malloc(64));
  if (!secret_) raiseError(err::kOutOfMemory, kSealedSource);
}

SealKeys::~SealKeys() { sodium_free(secret_); }

std::shared_ptr<const SealKeys> SealKeys::derive(std::string_view password,
                                                 const SealParams& params) {
  ensureSodium();
  uint8_t salt[16];
  randombytes_buf(salt, sizeof salt);
  return SealKeysAccess::derive(password, salt, params.opsLimit, params.memLimit);
}

// ---------------------------------------------------------------- reading

SealedReader::SealedReader(SealSource source, std::string_view password, const UnsealLimits& limits,
                           std::string name)
    : source_(std::move(source)), name_(std::move(name)) {
  ensureSodium();
  uint8_t header[kSealedHeaderSize];
  if (readFull(header) != sizeof header) unrecognised(name_);
  if (std::memcmp(header, kMagic, sizeof kMagic) != 0) unrecognised(name_);
  if (getLe(header + 8, 2) != kVersion || getLe(header + 10, 2) != 0) unrecognised(name_);
  const uint64_t chunk = getLe(header + 12, 4);
  const uint64_t ops = getLe(header + 16, 8);
  const uint64_t mem = getLe(header + 24, 8);
  imageSize_ = getLe(header + 32, 8);
  if (chunk < kMinChunk || chunk > kMaxChunk) unrecognised(name_);
  if (ops < crypto_pwhash_OPSLIMIT_MIN || ops > limits.maxOpsLimit) unrecognised(name_);
  if (mem < crypto_pwhash_MEMLIMIT_MIN || mem > limits.maxMemLimit) unrecognised(name_);
  if (imageSize_ > limits.maxImageSize) unrecognised(name_);
  chunkSize_ = static_cast<uint32_t>(chunk);
  std::memcpy(streamHeader_, header + 56, sizeof streamHeader_);

  keys_ = SealKeysAccess::derive(password, header + 40, ops, mem);
  uint8_t check[16];
  SealKeysAccess::keyCheck(*keys_, header, check);
  if (sodium_memcmp(check, header + kKeyCheckOffset, 16) != 0)
    throw AutomationError(kNotValidPassword, kSealedSource, kNotValidPasswordText);
}

size_t SealedReader::readFull(std::span<uint8_t> buf) {
  size_t got = 0;
  while (got < buf.size()) {
    size_t n = source_(buf.subspan(got));
    if (n == 0) break;
    got += n;
  }
  return got;
}

void SealedReader::damaged(const std::string& what, uint64_t chunk, uint64_t offset) const {
  throw AutomationError(kProviderFailed, kSealedSource,
                        "The database '" + name_ + "' is damaged: " + what + " (chunk " +
                            std::to_string(chunk) + " at byte offset " + std::to_string(offset) +
                            ").");
}

void SealedReader::readImage(const SealSink& sink) {
  crypto_secretstream_xchacha20poly1305_state state;
  if (crypto_secretstream_xchacha20poly1305_init_pull(&state, streamHeader_,
                                                      SealKeysAccess::streamKey(*keys_)) != 0) {
    damaged("the stream header is not valid", 1, 56);
  }
  z_stream z{};
  if (inflateInit(&z) != Z_OK) raiseError(err::kOutOfMemory, kSealedSource);
  struct ZEnd {
    z_stream* z;
    ~ZEnd() { inflateEnd(z); }
  } zend{&z};

  std::vector<uint8_t> cipher(chunkSize_ + kTagBytes);
  std::vector<uint8_t> plain(chunkSize_);
  std::vector<uint8_t> out(std::max<size_t>(chunkSize_, 64u << 10));
  uint64_t produced = 0;
  bool streamEnded = false;
  uint64_t offset = kSealedHeaderSize;
  for (uint64_t index = 1;; ++index) {
    const size_t got = readFull(cipher);
    if (got == 0) damaged("the file ends before its final chunk", index, offset);
    if (got <= kTagBytes) damaged("the chunk is cut short", index, offset);
    unsigned long long plainLen = 0;
    unsigned char tag = 0;
    if (crypto_secretstream_xchacha20poly1305_pull(&state, plain.data(), &plainLen, &tag,
                                                   cipher.data(), got, nullptr, 0) != 0) {
      damaged(got < cipher.size() ? "the chunk is cut short or altered" : "the chunk is altered",
              index, offset);
    }
    const bool final = tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL;
    if (!final && tag != crypto_secretstream_xchacha20poly1305_TAG_MESSAGE)
      damaged("the chunk has an unexpected tag", index, offset);
    if (!final && got < cipher.size())
      damaged("the file ends before its final chunk", index, offset);

    // Inflate this chunk's payload.
    z.next_in = plain.data();
    z.avail_in = static_cast<uInt>(plainLen);
    while (z.avail_in > 0) {
      if (streamEnded) damaged("data follows the end of the compressed image", index, offset);
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      int rc = inflate(&z, Z_NO_FLUSH);
      if (rc == Z_MEM_ERROR) raiseError(err::kOutOfMemory, kSealedSource);
      if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
        damaged("the compressed image is not valid", index, offset);
      const size_t n = out.size() - z.avail_out;
      if (n > imageSize_ - produced)
        damaged("the image is longer than its header says", index, offset);
      produced += n;
      if (n > 0) sink(std::span<const uint8_t>(out.data(), n));
      if (rc == Z_STREAM_END) streamEnded = true;
      if (rc == Z_BUF_ERROR && n == 0) damaged("the compressed image is not valid", index, offset);
    }
    if (final) {
      // Output that zlib still holds back once all input is in.
      while (!streamEnded) {
        z.next_out = out.data();
        z.avail_out = static_cast<uInt>(out.size());
        int rc = inflate(&z, Z_FINISH);
        const size_t n = out.size() - z.avail_out;
        if (n > imageSize_ - produced)
          damaged("the image is longer than its header says", index, offset);
        produced += n;
        if (n > 0) sink(std::span<const uint8_t>(out.data(), n));
        if (rc == Z_STREAM_END) {
          streamEnded = true;
        } else if (rc == Z_MEM_ERROR) {
          raiseError(err::kOutOfMemory, kSealedSource);
        } else if (n == 0) {
          damaged("the compressed image ends too early", index, offset);
        }
      }
      if (produced != imageSize_)
        damaged("the image is shorter than its header says", index, offset);
      uint8_t extra;
      if (readFull(std::span<uint8_t>(&extra, 1)) != 0)
        damaged("data follows the final chunk", index + 1, offset + got);
      return;
    }
    offset += got;
  }
}

// ---------------------------------------------------------------- writing

namespace {

// The image is compressed in pieces of kSealPiece bytes on up to two threads
// at once, as pigz does: each piece is raw deflate ended as a sync flush ends
// it (the last with the final block), so that the pieces' outputs in order,
// between a zlib header and the Adler-32 of the whole image, are one zlib
// stream. libdeflate compresses a piece (about twice as fast as zlib at its
// fastest level, and smaller); a piece it cannot give so goes to zlib, primed
// with the 32 KiB of image before it.
constexpr size_t kSealPiece = size_t{1} << 20;
constexpr size_t kDeflateWindow = size_t{1} << 15;

std::vector<uint8_t> deflatePiece(const std::vector<uint8_t>& in,
                                  const std::vector<uint8_t>& dictionary, int level, bool last) {
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    raiseError(err::kOutOfMemory, kSealedSource);
  struct End {
    z_stream* z;
    ~End() { deflateEnd(z); }
  } end{&z};
  if (!dictionary.empty() &&
      deflateSetDictionary(&z, dictionary.data(), static_cast<uInt>(dictionary.size())) != Z_OK)
    raiseError(err::kOutOfMemory, kSealedSource);
  // deflateBound covers one call with Z_FINISH; a sync flush adds at most an
  // empty stored block.
  std::vector<uint8_t> out(deflateBound(&z, static_cast<uLong>(in.size())) + 64);
  z.next_in = const_cast<uint8_t*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  for (;;) {
    z.next_out = out.data() + z.total_out;
    z.avail_out = static_cast<uInt>(out.size() - z.total_out);
    const int rc = deflate(&z, last ? Z_FINISH : Z_SYNC_FLUSH);
    if (rc == Z_STREAM_ERROR) raiseError(err::kOutOfMemory, kSealedSource);
    if (last ? rc == Z_STREAM_END : (z.avail_in == 0 && z.avail_out != 0)) break;
    out.resize(out.size() * 2);
  }
  out.resize(z.total_out);
  return out;
}

std::vector<uint8_t> compressPiece(const std::vector<uint8_t>& in,
                                   const std::vector<uint8_t>& dictionary, int level, bool last) {
  if (level != 0) {
    std::vector<uint8_t> out =
        codec::deflateJoinable(in, level == Z_DEFAULT_COMPRESSION ? 6 : level, last);
    if (!out.empty()) return out;
  }
  return deflatePiece(in, dictionary, level, last);
}

}  // namespace

struct SealedWriter::State {
  std::shared_ptr<const SealKeys> keys;
  uint64_t imageSize;
  uint64_t written = 0;
  uint32_t chunkSize;
  int level = Z_DEFAULT_COMPRESSION;
  SealSink sink;
  crypto_secretstream_xchacha20poly1305_state stream;
  std::vector<uint8_t> pending;  // compressed bytes not yet encrypted
  std::vector<uint8_t> cipher;
  bool finished = false;

  uint32_t adler = 1;           // the Adler-32 of no bytes
  std::vector<uint8_t> piece;   // image bytes not yet handed to a compressor
  std::vector<uint8_t> window;  // the image's last 32 KiB before `piece`
  std::deque<std::future<std::vector<uint8_t>>> compressing;  // in image order
  size_t threads = std::thread::hardware_concurrency() > 1 ? 2 : 1;

  ~State() {
    for (auto& f : compressing)
      if (f.valid()) f.wait();
    sodium_memzero(&stream, sizeof stream);
  }

  void push(const uint8_t* data, size_t n, unsigned char tag) {
    unsigned long long len = 0;
    crypto_secretstream_xchacha20poly1305_push(&stream, cipher.data(), &len, data, n, nullptr, 0,
                                               tag);
    sink(std::span<const uint8_t>(cipher.data(), static_cast<size_t>(len)));
  }

  // Encrypts whole chunks while more than one chunk's worth is pending, so
  // that at least one byte is left for the final chunk.
  void drain() {
    size_t start = 0;
    while (pending.size() - start > chunkSize) {
      push(pending.data() + start, chunkSize, crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
      start += chunkSize;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(start));
  }

  // The zlib header that zlib itself writes for `level`.
  void header() {
    const int effective = level == Z_DEFAULT_COMPRESSION ? 6 : level;
    const unsigned flags = effective < 2 ? 0 : effective < 6 ? 1 : effective == 6 ? 2 : 3;
    unsigned h = (0x78u << 8) | (flags << 6);
    h += 31 - h % 31;
    pending.push_back(static_cast<uint8_t>(h >> 8));
    pending.push_back(static_cast<uint8_t>(h & 0xff));
  }

  void collectOldest() {
    std::vector<uint8_t> out = compressing.front().get();
    compressing.pop_front();
    pending.insert(pending.end(), out.begin(), out.end());
    drain();
  }

  // Hands `piece` to a compressor.
  void launch(bool last) {
    std::vector<uint8_t> dictionary = window;
    if (piece.size() >= kDeflateWindow) {
      window.assign(piece.end() - static_cast<std::ptrdiff_t>(kDeflateWindow), piece.end());
    } else {
      window.insert(window.end(), piece.begin(), piece.end());
      if (window.size() > kDeflateWindow)
        window.erase(window.begin(), window.end() - static_cast<std::ptrdiff_t>(kDeflateWindow));
    }
    while (compressing.size() >= threads) collectOldest();
    if (threads == 1) {
      std::promise<std::vector<uint8_t>> done;
      done.set_value(compressPiece(piece, dictionary, level, last));
      compressing.push_back(done.get_future());
    } else {
      // On a thread of its own, or when none can be had, when it is collected.
      // The job goes by copy: a failed start must not leave it moved from.
      auto input = std::make_shared<const std::vector<uint8_t>>(std::move(piece));
      auto primer = std::make_shared<const std::vector<uint8_t>>(std::move(dictionary));
      const auto job = [input, primer, level = level, last] {
        return compressPiece(*input, *primer, level, last);
      };
      compressing.push_back(std::async(std::launch::async | std::launch::deferred, job));
    }
    piece = {};
    piece.reserve(kSealPiece);
  }
};

SealedWriter::SealedWriter(std::shared_ptr<const SealKeys> keys, uint64_t imageSize,
                           uint32_t chunkSize, SealSink sink, int level)
    : state_(std::make_unique<State>()) {
  ensureSodium();
  if (chunkSize < kMinChunk || chunkSize > kMaxChunk) raiseError(err::kInvalidCall, kSealedSource);
  if (level != kDefaultSealLevel && (level < 0 || level > 9))
    raiseError(err::kInvalidCall, kSealedSource);
  State& s = *state_;
  s.keys = std::move(keys);
  s.imageSize = imageSize;
  s.chunkSize = chunkSize;
  s.level = level == kDefaultSealLevel ? Z_DEFAULT_COMPRESSION : level;
  s.sink = std::move(sink);
  s.cipher.resize(chunkSize + kTagBytes);
  s.piece.reserve(static_cast<size_t>(std::min<uint64_t>(imageSize, kSealPiece)));

  uint8_t header[kSealedHeaderSize] = {};
  std::memcpy(header, kMagic, sizeof kMagic);
  putLe(header + 8, kVersion, 2);
  putLe(header + 12, chunkSize, 4);
  putLe(header + 16, s.keys->opsLimit(), 8);
  putLe(header + 24, s.keys->memLimit(), 8);
  putLe(header + 32, imageSize, 8);
  std::memcpy(header + 40, s.keys->salt(), 16);
  crypto_secretstream_xchacha20poly1305_init_push(&s.stream, header + 56,
                                                  SealKeysAccess::streamKey(*s.keys));
  SealKeysAccess::keyCheck(*s.keys, header, header + kKeyCheckOffset);
  s.sink(std::span<const uint8_t>(header, sizeof header));
  s.header();
}

SealedWriter::~SealedWriter() = default;

void SealedWriter::write(std::span<const uint8_t> bytes) {
  State& s = *state_;
  if (s.finished || bytes.size() > s.imageSize - s.written)
    raiseError(err::kInvalidCall, kSealedSource);
  s.written += bytes.size();
  while (!bytes.empty()) {
    // A full piece goes once more bytes follow it: the last goes in finish().
    if (s.piece.size() == kSealPiece) s.launch(false);
    const size_t n = std::min(bytes.size(), kSealPiece - s.piece.size());
    s.adler = codec::adler32(bytes.first(n), s.adler);
    s.piece.insert(s.piece.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    bytes = bytes.subspan(n);
  }
}

void SealedWriter::finish() {
  State& s = *state_;
  if (s.finished || s.written != s.imageSize) raiseError(err::kInvalidCall, kSealedSource);
  s.launch(true);
  while (!s.compressing.empty()) s.collectOldest();
  for (int shift = 24; shift >= 0; shift -= 8)
    s.pending.push_back(static_cast<uint8_t>(s.adler >> shift));
  s.drain();
  s.push(s.pending.data(), s.pending.size(), crypto_secretstream_xchacha20poly1305_TAG_FINAL);
  s.pending.clear();
  s.finished = true;
}

std::vector<uint8_t> sealImage(std::span<const uint8_t> image, std::string_view password,
                               const SealParams& params) {
  std::vector<uint8_t> sealed;
  SealedWriter writer(
      SealKeys::derive(password, params), image.size(), params.chunkSize,
      [&](std::span<const uint8_t> b) { sealed.insert(sealed.end(), b.begin(), b.end()); });
  writer.write(image);
  writer.finish();
  return sealed;
}

std::vector<uint8_t> unsealImage(std::span<const uint8_t> sealed, std::string_view password,
                                 const UnsealLimits& limits, std::string_view name) {
  size_t pos = 0;
  SealedReader reader(
      [&](std::span<uint8_t> buf) {
        const size_t n = std::min(buf.size(), sealed.size() - pos);
        if (n > 0) std::memcpy(buf.data(), sealed.data() + pos, n);
        pos += n;
        return n;
      },
      password, limits, std::string(name));
  std::vector<uint8_t> image;
  image.reserve(static_cast<size_t>(std::min<uint64_t>(reader.imageSize(), 64u << 20)));
  reader.readImage(
      [&](std::span<const uint8_t> b) { image.insert(image.end(), b.begin(), b.end()); });
  return image;
}

}  // namespace bq::db
