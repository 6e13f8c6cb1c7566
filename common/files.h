// Files read from start to end, and files that replace their target as a
// whole or not at all.
//
// Failures throw AutomationError with the run-time error number and text that
// the original's file statements raised for the cause: 53 "File not found",
// 76 "Path not found" (the folder is missing too), 70 "Permission denied",
// 75 "Path/File access error" (a folder, or something that is no file at all,
// such as a pipe or a device, which could block or never end), 61 "Disk
// full", ... Callers that show the path add it themselves.
//
// Thread safety: an object belongs to one thread; different objects may be
// used on different threads.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

namespace bq {

// A regular file opened for reading from its start. Owns its descriptor.
class InputFile {
 public:
  explicit InputFile(std::filesystem::path path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Up to buf.size() bytes; 0 at the end of the file.
  size_t read(std::span<uint8_t> buf);

 private:
  std::filesystem::path path_;
  int fd_ = -1;
};

// A file that replaces `target` as a whole or not at all. The bytes go to a
// temporary file in the target's folder (with the mode a new file would get);
// commit() flushes it to disk, renames it over the target and flushes the
// folder. Destroyed without commit(), it removes the temporary file and the
// target stays as it was. A process killed before commit() leaves the
// temporary file ".NAME.XXXXXX" beside the target.
class AtomicOutput {
 public:
  // Whether commit() flushes the data to disk before the rename. Files that
  // are made again from elsewhere whenever they are needed (question files
  // exported from the database) may skip the flush: the rename still makes
  // the replacement whole or nothing for every reader.
  enum class Durability { kFlushed, kUnflushed };

  explicit AtomicOutput(std::filesystem::path target, Durability durability = Durability::kFlushed);
  ~AtomicOutput();
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;

  void write(std::span<const uint8_t> bytes);
  void commit();

 private:
  std::filesystem::path target_;
  std::filesystem::path temp_;
  int fd_ = -1;
  bool committed_ = false;
  Durability durability_;
};

// Up to `length` bytes of the open file `fd` from byte `offset` (fewer at
// the file's end or on a read error), without moving its file position.
std::string readAt(int fd, uint64_t offset, uint64_t length);

// True when this process may create files in the folder `folder`.
bool canWriteIn(const std::filesystem::path& folder);

// Creates the text file `path` (replacing an existing one as AtomicOutput
// does) holding `utf8Line` in the ANSI code page (common/ansi.h) followed by
// CR LF.
void writeAnsiLine(const std::filesystem::path& path, std::string_view utf8Line);

// The whole content of the regular file `path`. Only for files the program
// made itself: input from outside (a file an examinee or a page names, the
// user's settings) is read with a ReadLimit.
std::string readWholeFile(const std::filesystem::path& path);

// A bound on input from outside the program: the most bytes one read may
// take in, and what is read, for the error. Each use has its own, in
// common/read_limits.h; docs/limits.md lists them.
struct ReadLimit {
  uint64_t maxBytes;
  const char* what;  // "e-mail message", "registry file", ...
};

// Throws the error of a bound passed: AutomationError 7 "Out of memory",
// described as "Out of memory (the WHAT 'NAME' is larger than N MiB)".
[[noreturn]] void raiseReadLimit(const ReadLimit& limit, std::string_view name);

// readWholeFile that takes in at most limit.maxBytes bytes; a file larger
// than that (also one that grows past it while it is read) fails with
// raiseReadLimit, naming `path`.
std::string readWholeFile(const std::filesystem::path& path, const ReadLimit& limit);

}  // namespace bq
