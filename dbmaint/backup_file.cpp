#include "dbmaint/backup_file.h"

#include <algorithm>
#include <deque>
#include <filesystem>

#include "common/files.h"
#include "common/winpath.h"
#include "dbmaint/block_stream.h"
#include "dbmaint/db_common.h"
#include "platform/ui/ui.h"

namespace bq::dbmaint {
namespace {

namespace fs = std::filesystem;

std::span<const uint8_t> markerBytes() {
  return {reinterpret_cast<const uint8_t*>(kBackupMarker.data()), kBackupMarker.size()};
}

uint64_t fileSize(const fs::path& file) {
  std::error_code ec;
  const uintmax_t size = fs::file_size(file, ec);
  if (ec) raiseFileError(ec.value());
  return static_cast<uint64_t>(size);
}

// Reads until `buf` is full or the file ends; the count read.
size_t readFull(InputFile& in, std::span<uint8_t> buf) {
  size_t filled = 0;
  while (filled < buf.size()) {
    const size_t n = in.read(buf.subspan(filled));
    if (n == 0) break;
    filled += n;
  }
  return filled;
}

}  // namespace

uint64_t NextChunk(uint64_t rest, std::vector<uint8_t>& buffer) {
  if (rest >= kBlockPieceSize) {
    buffer.resize(kBlockPieceSize);
    return rest - kBlockPieceSize;
  }
  if (rest >= 1) buffer.resize(static_cast<size_t>(rest));
  return 0;
}

bool CompressFile(PictureArg picture, const std::string& source, const std::string& destination,
                  AutomationError* failure) {
  const fs::path in = winpath::toNative(source);
  std::vector<uint8_t> buffer;
  uint64_t length = 0, remaining = 0, processed = 0;
  std::optional<InputFile> input;
  std::optional<AtomicOutput> output;
  const bool opened = guarded(
      [&] {
        input.emplace(in);
        length = fileSize(in);
        output.emplace(winpath::toNative(destination));
        output->write(markerBytes());
      },
      failure);
  if (!opened) return false;
  remaining = length;
  ShowProgress(picture, 0);
  // The chunks are read as NextChunk sizes them; the block stream makes one
  // block of each. It reads ahead of the blocks it writes: the progress shown
  // with each block is the share read up to that block's chunk.
  std::deque<uint64_t> readBefore;
  auto readChunk = [&](std::span<uint8_t> buf) -> size_t {
    if (processed >= length) return 0;
    remaining = NextChunk(remaining, buffer);
    const size_t want = std::min(buffer.size(), buf.size());
    const size_t n = readFull(*input, buf.first(want));
    if (n < want) raiseError(err::kInputPastEnd);  // the file shrank while it was read
    processed += n;
    readBefore.push_back(processed);
    return n;
  };
  auto writeBlock = [&](std::span<const uint8_t> block) {
    output->write(block);
    const uint64_t done = readBefore.empty() ? processed : readBefore.front();
    if (!readBefore.empty()) readBefore.pop_front();
    if (length > 0)
      ShowProgress(picture,
                   static_cast<float>(static_cast<double>(done) / static_cast<double>(length)));
  };
  return guarded(
      [&] {
        compressBlockStream(readChunk, writeBlock);
        output->commit();
      },
      failure);
}

Expansion ExpandFile(PictureArg picture, std::string& path) {
  const fs::path file = winpath::toNative(path);
  InputFile input(file);
  std::vector<uint8_t> marker(kBackupMarker.size());
  if (readFull(input, marker) != marker.size() ||
      !std::equal(marker.begin(), marker.end(), markerBytes().begin()))
    return Expansion::kNotBackupFile;

  const std::string tmp = TempDatabasePath();
  const fs::path tmpFile = winpath::toNative(tmp);
  if (fs::exists(tmpFile)) DeleteFileOrWarn(tmp);
  const uint64_t total = fileSize(file) - kBackupMarker.size();
  AtomicOutput output(tmpFile);
  ShowProgress(picture, 0);
  uint64_t done = 0;
  // Only the block stream's own verdict is a damaged file; a failure to read
  // or write passes on as it is.
  bool ioFailed = false;
  try {
    expandBlockStream(
        [&](std::span<uint8_t> buf) {
          ioFailed = true;
          const size_t n = input.read(buf);
          ioFailed = false;
          done += n;
          return n;
        },
        [&](std::span<const uint8_t> data) {
          ioFailed = true;
          output.write(data);
          if (total > 0)
            ShowProgress(picture, static_cast<float>(static_cast<double>(done) /
                                                     static_cast<double>(total)));
          ioFailed = false;
        });
  } catch (const AutomationError& e) {
    if (ioFailed) throw;
    ui::MsgBox(std::string(kDamagedBackupMessage) + "\r\n\r\n[" + path + "]\r\n" + e.description(),
               ui::vbOKOnly);
    return Expansion::kDamaged;
  }
  output.commit();
  path = tmp;
  return Expansion::kExpanded;
}

}  // namespace bq::dbmaint
