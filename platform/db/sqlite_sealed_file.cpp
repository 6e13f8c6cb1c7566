// A sealed file's life in a session: opened under its lock, unpacked into
// memory or a private file, sealed again on close, kept aside when it
// cannot be written back.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <set>

#include "common/automation_error.h"
#include "common/files.h"
#include "common/winpath.h"
#include "platform/db/ado.h"
#include "platform/db/errors.h"
#include "platform/db/sealed.h"
#include "platform/db/sqlite_session.h"
#include "platform/db/sqlite_session_impl.h"
#include "platform/db/types.h"

namespace bq::db {
namespace sqlite_impl {

// Takes the share lock of a sealed file on `fd`; false when another
// connection holds a lock that excludes it.
bool lockSealed(int fd, bool exclusive) {
  while (::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

void SqliteSession::openSealed(std::string_view password, uint64_t memoryLimit, bool exclusive,
                               bool readOnly) {
  const int fd = openLocked(exclusive);
  SealedReader reader(
      [this, fd](std::span<uint8_t> buf) -> size_t {
        for (;;) {
          ssize_t n = ::read(fd, buf.data(), buf.size());
          if (n >= 0) return static_cast<size_t>(n);
          if (errno != EINTR) fileFailure("read", errno);
        }
      },
      password, UnsealLimits{}, name_);
  keys_ = reader.keys();
  chunkSize_ = reader.chunkSize();
  struct ReleaseOnFailure {
    SqliteSession* s;
    bool armed = true;
    ~ReleaseOnFailure() {
      if (armed) s->release();
    }
  } guard{this};
  if (reader.imageSize() <= memoryLimit) {
    SqliteBuffer image;
    image.reserve(reader.imageSize());
    reader.readImage([&](std::span<const uint8_t> b) { image.append(b); });
    openImage(image);
  } else {
    unpackToFile(reader);
  }
  configure();
  probe();
  if (!tempDir_.empty()) {
    // The private image is scratch: the sealed file is the copy that lasts,
    // written whole on close, so the image needs no flushes and no journal
    // on disk (a rollback still works from memory).
    exec("PRAGMA synchronous = OFF");
    exec("PRAGMA journal_mode = MEMORY");
  }
  foldTextColumns();
  if (readOnly) exec("PRAGMA query_only = ON");
  guard.armed = false;
}

// Opens the sealed file for reading and takes its share lock (lockFd_); the
// descriptor, or the provider's error with the session released.
int SqliteSession::openLocked(bool exclusive) {
  // Through a symbolic link, the file it names is the one to replace on Close.
  std::error_code ec;
  if (fs::path real = fs::canonical(path_, ec); !ec) path_ = real;
  // O_NONBLOCK keeps the open from waiting on a pipe with no writer; the
  // file type is checked right after.
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) fileFailure("open", errno);
  lockFd_ = fd;
  exclusive_ = exclusive;
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    const int errnum = errno;
    release();
    fileFailure("open", errnum);
  }
  if (!S_ISREG(st.st_mode)) {
    release();
    fileFailure("open", ENOENT);
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  if (!lockSealed(fd, exclusive)) {
    release();
    throw AutomationError(kProviderFailed, source(),
                          "Could not use '" + name_ + "'; file already in use.");
  }
  identity_ = FileIdentity::of(st);
  return fd;
}

// A big image goes to a private file (tempDir_) instead of memory.
void SqliteSession::unpackToFile(SealedReader& reader) {
  std::string folder = (fs::temp_directory_path() / "bq-sealed-XXXXXX").string();
  if (!::mkdtemp(folder.data())) fileFailure("unpack", errno);
  tempDir_ = folder;
  const fs::path image = tempDir_ / "image.db";
  const int out = ::open(image.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (out < 0) fileFailure("unpack", errno);
  struct FdCloser {
    int fd;
    ~FdCloser() { ::close(fd); }
  } outCloser{out};
  reader.readImage([&](std::span<const uint8_t> b) {
    while (!b.empty()) {
      ssize_t n = ::write(out, b.data(), b.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        fileFailure("unpack", errno);
      }
      b = b.subspan(static_cast<size_t>(n));
    }
  });
  // Read through a descriptor of our own when sealed again, whatever becomes
  // of the name.
  imageFd_ = ::open(image.c_str(), O_RDONLY | O_CLOEXEC);
  if (imageFd_ < 0) fileFailure("unpack", errno);
  int rc = sqlite3_open_v2(image.c_str(), &db_, SQLITE_OPEN_READWRITE | kOpenOneThread, nullptr);
  if (rc != SQLITE_OK) raiseError(err::kOutOfMemory, kSealedSource);
}

void SqliteSession::openImage(SqliteBuffer& image) {
  int rc = sqlite3_open_v2(":memory:", &db_,
                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | kOpenOneThread, nullptr);
  if (rc != SQLITE_OK) {
    release();
    raiseError(err::kOutOfMemory, kSealedSource);
  }
  const sqlite3_uint64 size = image.size(), cap = image.capacity();
  rc = sqlite3_deserialize(db_, "main", image.release(), static_cast<sqlite3_int64>(size),
                           static_cast<sqlite3_int64>(cap),
                           SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE);
  if (rc != SQLITE_OK) {
    release();
    raiseError(err::kOutOfMemory, kSealedSource);
  }
}

void SqliteSession::release() {
  for (Statement* s : std::set<Statement*>(statements_)) s->end();
  dropIdle();
  deferred_.clear();
  forgetRowKeys();
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
  if (lockFd_ >= 0) ::close(lockFd_);
  lockFd_ = -1;
  if (imageFd_ >= 0) ::close(imageFd_);
  imageFd_ = -1;
  if (!tempDir_.empty()) {
    std::error_code ec;
    fs::remove_all(tempDir_, ec);
    tempDir_.clear();
  }
}

void SqliteSession::close() {
  if (!db_) {
    release();
    return;
  }
  for (Statement* s : std::set<Statement*>(statements_)) s->end();
  dropIdle();
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  if (provider_ == Provider::kSealed && dirty_) {
    try {
      writeSealed();
    } catch (const AutomationError& e) {
      throw unsavedError(e);
    }
    // Saved after all: the copy an earlier attempt kept is out of date.
    if (!unsavedPath_.empty()) ::unlink(unsavedPath_.c_str());
  }
  release();
}

void SqliteSession::sealImageTo(const SealSink& sink) {
  if (imageFd_ < 0) {
    sqlite3_int64 size = 0;
    unsigned char* copy = nullptr;
    unsigned char* p = sqlite3_serialize(db_, "main", &size, SQLITE_SERIALIZE_NOCOPY);
    if (!p && size > 0) {
      p = copy = sqlite3_serialize(db_, "main", &size, 0);
      if (!p) raiseError(err::kOutOfMemory);
    }
    struct Free {
      unsigned char* p;
      ~Free() { sqlite3_free(p); }
    } freeCopy{copy};
    SealedWriter writer(keys_, static_cast<uint64_t>(size), chunkSize_, sink, sealLevel_);
    if (size > 0) writer.write(std::span<const uint8_t>(p, static_cast<size_t>(size)));
    writer.finish();
    return;
  }
  struct stat st;
  if (::fstat(imageFd_, &st) != 0) raiseFileError(errno);
  const auto size = static_cast<uint64_t>(st.st_size);
  SealedWriter writer(keys_, size, chunkSize_, sink, sealLevel_);
  std::vector<uint8_t> buf(1 << 20);
  uint64_t done = 0;
  while (done < size) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(buf.size(), size - done));
    const ssize_t n = ::pread(imageFd_, buf.data(), want, static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) raiseFileError(errno);
    if (n == 0) raiseError(err::kInputPastEnd);
    writer.write(std::span<const uint8_t>(buf.data(), static_cast<size_t>(n)));
    done += static_cast<uint64_t>(n);
  }
  writer.finish();
}

void SqliteSession::writeSealed() {
  struct stat st;
  if (::stat(path_.c_str(), &st) == 0 && identity_.known && !identity_.sameAs(FileIdentity::of(st)))
    throw AutomationError(
        kProviderFailed, source(),
        "Could not save '" + name_ + "': another program replaced the file after it was opened.");
  try {
    AtomicOutput out(path_);
    sealImageTo([&](std::span<const uint8_t> b) { out.write(b); });
    out.commit();
  } catch (const AutomationError& e) {
    if (e.source() == kSealedSource) throw;
    throw AutomationError(kProviderFailed, source(),
                          "Could not save '" + name_ + "': " + e.description());
  } catch (const std::exception& e) {
    throw AutomationError(kProviderFailed, source(), "Could not save '" + name_ + "': " + e.what());
  }
  if (identity_.known) ::chmod(path_.c_str(), identity_.mode & 07777);
  if (::stat(path_.c_str(), &st) == 0) identity_ = FileIdentity::of(st);
  // The lock held the replaced file; take it on the new one.
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0 && lockSealed(fd, exclusive_)) {
    ::close(lockFd_);
    lockFd_ = fd;
  } else if (fd >= 0) {
    ::close(fd);
  }
  dirty_ = false;
}

// Keeps the changed image, sealed under the same password, in a file of
// its own beside the database ("NAME.unsaved-XXXXXX"), else in the
// temporary folder; the same file again at a later failure of this session.
// Returns its path, or "" when it could not be written anywhere.
std::string SqliteSession::keepUnsaved() {
  std::vector<fs::path> places;
  if (!unsavedPath_.empty()) places.push_back(unsavedPath_);
  std::error_code ec;
  places.push_back(path_.string() + ".unsaved-XXXXXX");
  places.push_back(fs::temp_directory_path(ec) / (path_.filename().string() + ".unsaved-XXXXXX"));
  for (const fs::path& place : places) {
    std::string target = place.string();
    bool made = false;
    if (target.ends_with("XXXXXX")) {
      const int fd = ::mkstemp(target.data());
      if (fd < 0) continue;
      ::close(fd);
      made = true;
    }
    try {
      AtomicOutput out(target);
      sealImageTo([&](std::span<const uint8_t> b) { out.write(b); });
      out.commit();
      ::chmod(target.c_str(), 0600);
      unsavedPath_ = target;
      return target;
    } catch (...) {
      if (made) ::unlink(target.c_str());
    }
  }
  return {};
}

// The failure of a Close() that could not seal the changes into the file,
// with where they were kept instead.
AutomationError SqliteSession::unsavedError(const AutomationError& failure) {
  const std::string kept = keepUnsaved();
  std::string text = failure.description();
  if (!text.empty() && text.back() != '.') text += '.';
  text += kept.empty() ? " The changes could not be kept elsewhere either."
                       : " The changes are kept in '" + kept + "'.";
  return AutomationError(failure.number(), failure.source(), std::move(text));
}

}  // namespace sqlite_impl

using namespace sqlite_impl;

void sealDatabaseFile(std::string_view plainPath, std::string_view sealedPath,
                      std::string_view password, const SealParams& params) {
  const std::string name(plainPath);
  SqliteSession plain(Provider::kSqlite, name, winpath::toNative(plainPath));
  plain.openPlain(true);
  sqlite3_int64 size = 0;
  unsigned char* image = sqlite3_serialize(plain.db(), "main", &size, 0);
  if (!image && size > 0) raiseError(err::kOutOfMemory, kSqliteSource);
  struct Free {
    unsigned char* p;
    ~Free() { sqlite3_free(p); }
  } freeImage{image};
  // Bytes 18 and 19 hold the journal format: 2 is WAL, 1 the rollback journal.
  if (size >= 20 && image[18] == 2 && image[19] == 2) image[18] = image[19] = 1;
  // The sealed copy compares text as the provider does (foldTextColumns);
  // the plain file is not changed.
  SqliteSession sealed(Provider::kSealed, std::string(sealedPath), winpath::toNative(sealedPath));
  {
    SqliteBuffer buffer;
    buffer.reserve(static_cast<sqlite3_uint64>(size));
    buffer.append(std::span<const uint8_t>(image, static_cast<size_t>(size)));
    sealed.openForSealing(buffer, SealKeys::derive(password, params), params.chunkSize);
  }
  AtomicOutput out(winpath::toNative(sealedPath));
  sealed.sealImageTo([&](std::span<const uint8_t> b) { out.write(b); });
  out.commit();
}

void unsealDatabaseFile(std::string_view sealedPath, std::string_view plainPath,
                        std::string_view password) {
  const std::string name(sealedPath);
  InputFile in = [&] {
    try {
      return InputFile(winpath::toNative(sealedPath));
    } catch (const AutomationError& e) {
      if (e.number() == err::kFileNotFound || e.number() == err::kPathNotFound)
        throw AutomationError(kProviderFailed, kSealedSource,
                              "Could not find file '" + name + "'.");
      throw;
    }
  }();
  SealedReader reader([&](std::span<uint8_t> b) { return in.read(b); }, password, UnsealLimits{},
                      name);
  AtomicOutput out(winpath::toNative(plainPath));
  reader.readImage([&](std::span<const uint8_t> b) { out.write(b); });
  out.commit();
}

bool sealedFileInUse(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  bool held = false;
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    held = errno == EWOULDBLOCK;
    break;
  }
  ::close(fd);
  return held;
}

}  // namespace bq::db
