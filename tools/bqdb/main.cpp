// bqdb: maintenance of exam databases and of the files kept in them.
//
//   bqdb blocks compress IN OUT   IN's bytes as a block sequence
//   bqdb blocks expand IN OUT     the data of the block sequence IN, checked
//
// Paths may be Windows paths (C:\BQTEST\x.doc) or POSIX paths. OUT appears
// only when the command succeeds: it is written beside itself under a
// temporary name, flushed to disk and renamed into place, and on any failure
// the temporary file is removed and an existing OUT is left as it was. A
// failure prints one line "bqdb: <command>: <reason>" on stderr and exits 1.
//
// Each group of subcommands is added by its own add...Commands function.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <utility>

#include "common/automation_error.h"
#include "common/winpath.h"
#include "dbmaint/block_stream.h"

namespace {

namespace fs = std::filesystem;

[[noreturn]] void fileFailure(int errnum, const std::string& action, const fs::path& path) {
  throw bq::AutomationError(bq::fileErrorNumber(errnum), "bqdb",
                            action + " \"" + path.string() + "\": " + std::strerror(errnum));
}

// A file opened for reading from its start.
class InputFile {
 public:
  explicit InputFile(fs::path path) : path_(std::move(path)) {
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) fileFailure(errno, "cannot open", path_);
  }
  ~InputFile() { ::close(fd_); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Up to buf.size() bytes; 0 at the end of the file.
  size_t read(std::span<uint8_t> buf) {
    for (;;) {
      ssize_t n = ::read(fd_, buf.data(), buf.size());
      if (n >= 0) return static_cast<size_t>(n);
      if (errno != EINTR) fileFailure(errno, "cannot read", path_);
    }
  }

 private:
  fs::path path_;
  int fd_ = -1;
};

// A file that replaces `target` as a whole or not at all. The bytes go to a
// temporary file in the target's folder; commit() flushes it to disk and
// renames it over the target. Destroyed without commit(), it removes the
// temporary file and the target stays as it was.
class AtomicOutput {
 public:
  explicit AtomicOutput(fs::path target) : target_(std::move(target)) {
    if (target_.filename().empty()) fileFailure(EISDIR, "cannot write", target_);
    fs::path folder = target_.parent_path().empty() ? fs::path(".") : target_.parent_path();
    std::string pattern = (folder / ("." + target_.filename().string() + ".XXXXXX")).string();
    fd_ = ::mkstemp(pattern.data());
    if (fd_ < 0) fileFailure(errno, "cannot create a file beside", target_);
    temp_ = pattern;
    // mkstemp makes the file private; give it the mode a new file would get.
    mode_t mask = ::umask(0);
    ::umask(mask);
    if (::fchmod(fd_, 0666 & ~mask) != 0) {
      int errnum = errno;
      ::close(fd_);
      ::unlink(temp_.c_str());
      fileFailure(errnum, "cannot set the mode of", temp_);
    }
  }
  ~AtomicOutput() {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(temp_.c_str());
  }
  AtomicOutput(const AtomicOutput&) = delete;
  AtomicOutput& operator=(const AtomicOutput&) = delete;

  void write(std::span<const uint8_t> bytes) {
    while (!bytes.empty()) {
      ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        fileFailure(errno, "cannot write", temp_);
      }
      bytes = bytes.subspan(static_cast<size_t>(n));
    }
  }

  void commit() {
    if (::fsync(fd_) != 0) fileFailure(errno, "cannot flush", temp_);
    int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0) fileFailure(errno, "cannot close", temp_);
    if (::rename(temp_.c_str(), target_.c_str()) != 0)
      fileFailure(errno, "cannot replace", target_);
    committed_ = true;
    // The rename itself is made durable by flushing the folder; the new file
    // is in place either way, so a failure here is not reported.
    fs::path folder = target_.parent_path().empty() ? fs::path(".") : target_.parent_path();
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
  }

 private:
  fs::path target_;
  fs::path temp_;
  int fd_ = -1;
  bool committed_ = false;
};

// Runs `body` and turns any failure into the one-line message and exit code 1.
int runCommand(const std::string& name, const std::function<void()>& body) {
  try {
    body();
    return 0;
  } catch (const bq::AutomationError& e) {
    std::fprintf(stderr, "bqdb: %s: %s\n", name.c_str(), e.description().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bqdb: %s: %s\n", name.c_str(), e.what());
  }
  return 1;
}

using StreamFunction = bq::BlockStreamCounts (*)(const bq::ByteSource&, const bq::ByteSink&);

// IN through `transform` into OUT, replacing OUT only on success.
void transformFile(const std::string& in, const std::string& out, StreamFunction transform) {
  InputFile input(bq::winpath::toNative(in));
  AtomicOutput output(bq::winpath::toNative(out));
  transform([&input](std::span<uint8_t> buf) { return input.read(buf); },
            [&output](std::span<const uint8_t> bytes) { output.write(bytes); });
  output.commit();
}

void addBlocksCommands(CLI::App& app, int& status) {
  CLI::App* blocks =
      app.add_subcommand("blocks", "Compressed block files (question files, backup bodies)");
  blocks->require_subcommand(1);

  struct Direction {
    const char* name;
    const char* help;
    StreamFunction transform;
  };
  static const Direction directions[] = {
      {"compress", "Write IN's bytes to OUT as a sequence of compressed blocks",
       &bq::compressBlockStream},
      {"expand", "Write the data of the compressed blocks in IN to OUT; any damaged block fails",
       &bq::expandBlockStream},
  };
  for (const Direction& d : directions) {
    CLI::App* sub = blocks->add_subcommand(d.name, d.help);
    auto in = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    sub->add_option("IN", *in, "File to read")->required();
    sub->add_option("OUT", *out, "File to write (replaced only on success)")->required();
    sub->callback([&status, d, in, out] {
      status = runCommand(std::string("blocks ") + d.name,
                          [&] { transformFile(*in, *out, d.transform); });
    });
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"bqdb: exam database maintenance"};
  app.require_subcommand(1);
  int status = 0;
  addBlocksCommands(app, status);
  CLI11_PARSE(app, argc, argv);
  return status;
}
