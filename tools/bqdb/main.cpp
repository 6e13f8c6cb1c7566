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
#include "common/files.h"
#include "common/winpath.h"
#include "dbmaint/block_stream.h"

namespace {

namespace fs = std::filesystem;

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

// Runs `step` on `path`; a failure is told with the path and what was being done.
template <typename F>
decltype(auto) onFile(const char* action, const std::string& path, F&& step) {
  try {
    return std::forward<F>(step)();
  } catch (const bq::AutomationError& e) {
    throw bq::AutomationError(e.number(), e.source(),
                              std::string(action) + " \"" + path + "\": " + e.description());
  }
}

// IN through `transform` into OUT, replacing OUT only on success.
void transformFile(const std::string& in, const std::string& out, StreamFunction transform) {
  bq::InputFile input =
      onFile("cannot open", in, [&] { return bq::InputFile(bq::winpath::toNative(in)); });
  bq::AtomicOutput output =
      onFile("cannot write", out, [&] { return bq::AtomicOutput(bq::winpath::toNative(out)); });
  transform(
      [&](std::span<uint8_t> buf) {
        return onFile("cannot read", in, [&] { return input.read(buf); });
      },
      [&](std::span<const uint8_t> bytes) {
        onFile("cannot write", out, [&] { output.write(bytes); });
      });
  onFile("cannot replace", out, [&] { output.commit(); });
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
