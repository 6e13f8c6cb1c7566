// The restore's reader of backup files (ExpandFile) on arbitrary bytes, as
// a file, with a bound of 1 MiB on what it may expand.
//
// Invariants, against the in-memory reader of block sequences:
//   - a file without the marker is no backup file, and nothing is written;
//   - a file whose block headers announce more than the bound is refused
//     before anything is written;
//   - otherwise the temporary database holds exactly what the blocks hold,
//     or, for a damaged sequence, there is no temporary database at all;
//   - every refusal shows one message and leaves the path as it was.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/automation_error.h"
#include "dbmaint/backup_file.h"
#include "dbmaint/block_stream.h"
#include "dbmaint/db_common.h"
#include "fuzz/checks.h"
#include "fuzz/sandbox.h"
#include "platform/ui/progress_canvas.h"
#include "platform/ui/recorder.h"

namespace {

namespace fs = std::filesystem;
using bqfuzz::check;

constexpr uint64_t kBound = 1u << 20;

// The private folder of this process, the temporary database's too.
const fs::path& sandbox() {
  static const bqfuzz::Sandbox box("bq_backup_fuzz_");
  static const bool folderSet = ::setenv("BQ_TEMP_DATABASE_FOLDER", box.path.c_str(), 1) == 0;
  check(folderSet, "the temporary database's folder is set");
  return box.path;
}

// What the block headers after the marker announce, read from one to the
// next as the file format lays them out.
uint64_t announced(std::span<const uint8_t> blocks) {
  uint64_t total = 0;
  size_t at = 0;
  while (blocks.size() - at >= bq::kBlockHeaderSize) {
    const std::optional<bq::BlockLengths> l = bq::readBlockLengths(blocks.subspan(at));
    if (!l || blocks.size() - at - bq::kBlockHeaderSize < l->stream) break;
    total += l->data;
    at += bq::kBlockHeaderSize + l->stream;
  }
  return total;
}

std::vector<uint8_t> fileBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  const fs::path file = sandbox() / "in.bak";
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const std::string tmp = bq::dbmaint::TempDatabasePath();
  fs::remove(tmp);
  auto recorder = std::make_shared<bq::ui::Recorder>();
  bq::ui::ScopedBackend scope(recorder);
  bq::ui::RecordingProgressCanvas canvas;

  std::string path = file.string();
  const bq::dbmaint::Expansion result =
      bq::dbmaint::ExpandFile(&canvas, path, bq::dbmaint::BackupLimits{kBound});

  const std::string_view marker = bq::dbmaint::kBackupMarker;
  const bool backupFile =
      size >= marker.size() &&
      std::string_view(reinterpret_cast<const char*>(data), marker.size()) == marker;
  using E = bq::dbmaint::Expansion;
  if (!backupFile) {
    check(result == E::kNotBackupFile, "a file without the marker was read as a backup");
    check(!fs::exists(tmp), "a file without the marker wrote the temporary database");
    check(recorder->shown().empty(), "a file without the marker showed a message");
    return 0;
  }
  const std::span<const uint8_t> blocks = input.subspan(marker.size());
  if (result != E::kExpanded) {
    check(path == file.string(), "a refused file changed the path");
    check(!fs::exists(tmp), "a refused file left a temporary database");
    check(recorder->shown().size() == 1, "a refusal without its one message");
  }
  if (announced(blocks) > kBound) {
    check(result == E::kTooLarge, "blocks announcing more than the bound were not refused");
    check(startsWith(recorder->shown().front().prompt, bq::dbmaint::kBackupTooLargeMessage),
          "the bound's refusal without its message");
    return 0;
  }
  // Within the bound the in-memory reader holds at most the bound.
  std::optional<std::vector<uint8_t>> expected;
  try {
    expected = bq::expandBlockSequence(blocks);
  } catch (const bq::AutomationError& e) {
    check(e.number() == bq::kDamagedBlockError, "the block reader failed with another number");
  }
  if (expected) {
    check(result == E::kExpanded, "sound blocks within the bound were refused");
    check(path == tmp, "an expanded file did not name the temporary database");
    check(fileBytes(tmp) == *expected, "the temporary database differs from the blocks' data");
    check(recorder->shown().empty(), "an expansion showed a message");
  } else {
    check(result == E::kDamaged, "damaged blocks were not refused as damaged");
    check(startsWith(recorder->shown().front().prompt, bq::dbmaint::kDamagedBackupMessage),
          "a damaged file without its message");
  }
  return 0;
}
