#include "dbmaint/backup_file.h"

#include <algorithm>
#include <array>
#include <deque>
#include <filesystem>
#include <fstream>

#include "common/files.h"
#include "common/winpath.h"
#include "dbmaint/block_stream.h"
#include "dbmaint/db_common.h"
#include "platform/db/sealed.h"
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

// The bytes that the blocks after the marker announce, read from header to
// header without expanding anything. The scan stops at a header cut short
// or holding a non-digit and at a stream that runs past the end of the file:
// the expansion reports that block as damaged.
uint64_t announcedBytes(const fs::path& file, uint64_t fileSize) {
  std::ifstream in;
  in.rdbuf()->pubsetbuf(nullptr, 0);  // twelve bytes per block, then a seek
  in.open(file, std::ios::binary);
  if (!in) raiseError(err::kPathFileAccess);
  uint64_t at = kBackupMarker.size(), announced = 0;
  std::array<uint8_t, kBlockHeaderSize> header;
  while (fileSize - at >= header.size()) {
    in.seekg(static_cast<std::streamoff>(at));
    if (!in.read(reinterpret_cast<char*>(header.data()), header.size())) break;
    const std::optional<BlockLengths> lengths = readBlockLengths(header);
    if (!lengths || fileSize - at - header.size() < lengths->stream) break;
    announced += lengths->data;
    at += header.size() + lengths->stream;
  }
  return announced;
}

// The bytes free for this process in `folder`; nothing when unknown.
std::optional<uint64_t> freeSpace(const fs::path& folder) {
  std::error_code ec;
  const fs::space_info info = fs::space(folder, ec);
  if (ec) return std::nullopt;
  return static_cast<uint64_t>(info.available);
}

std::string mib(uint64_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

void refuse(const char* message, const std::string& path, const std::string& why) {
  ui::MsgBox(std::string(message) + "\r\n\r\n[" + path + "]\r\n" + why, ui::vbOKOnly);
}

// Whether `bytes` stay within the bound of `limits`; `what` names them in
// the message that refuses them.
bool withinBound(uint64_t bytes, const BackupLimits& limits, const std::string& path,
                 const std::string& what) {
  if (bytes <= limits.maxDatabaseBytes) return true;
  refuse(kBackupTooLargeMessage, path,
         what + " " + std::to_string(bytes) + " bytes, more than the " +
             std::to_string(limits.maxDatabaseBytes) + " allowed");
  return false;
}

// Whether `bytes` more fit in `folder` with kFreeSpaceReserve to spare (also
// when its free space cannot be learnt: writing then reports a full disk).
bool withinFreeSpace(uint64_t bytes, const fs::path& folder, const std::string& path,
                     const std::string& what) {
  const std::optional<uint64_t> free = freeSpace(folder);
  if (!free || bytes + kFreeSpaceReserve <= *free) return true;
  refuse(kNoSpaceForBackupMessage, path,
         what + " " + std::to_string(bytes) + " bytes; " + folder.string() + " has " +
             std::to_string(*free) + " free, of which " + mib(kFreeSpaceReserve) +
             " must stay free");
  return false;
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

Expansion ExpandFile(PictureArg picture, std::string& path, const BackupLimits& limits) {
  const fs::path file = winpath::toNative(path);
  InputFile input(file);
  std::vector<uint8_t> marker(kBackupMarker.size());
  if (readFull(input, marker) != marker.size() ||
      !std::equal(marker.begin(), marker.end(), markerBytes().begin()))
    return Expansion::kNotBackupFile;

  const uint64_t size = fileSize(file);
  const uint64_t announced = announcedBytes(file, size);
  const std::string tmp = TempDatabasePath();
  const fs::path tmpFile = winpath::toNative(tmp);
  constexpr const char* kBlocks = "its blocks expand to";
  if (!withinBound(announced, limits, path, kBlocks)) return Expansion::kTooLarge;
  // The earlier temporary database goes first: its room is the new one's.
  if (fs::exists(tmpFile)) DeleteFileOrWarn(tmp);
  if (!withinFreeSpace(announced, tmpFile.parent_path(), path, kBlocks)) return Expansion::kNoSpace;

  const uint64_t total = size - kBackupMarker.size();
  AtomicOutput output(tmpFile);
  ShowProgress(picture, 0);
  uint64_t done = 0, written = 0;
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
          // Each block gives exactly what its header announces; more than
          // the scan found means the file changed since.
          written += data.size();
          if (written > announced) {
            throw AutomationError(kDamagedBlockError, {}, "the file changed while it was expanded");
          }
          ioFailed = true;
          output.write(data);
          if (total > 0)
            ShowProgress(picture, static_cast<float>(static_cast<double>(done) /
                                                     static_cast<double>(total)));
          ioFailed = false;
        });
  } catch (const AutomationError& e) {
    if (ioFailed) throw;
    refuse(kDamagedBackupMessage, path, e.description());
    return Expansion::kDamaged;
  }
  output.commit();
  path = tmp;
  return Expansion::kExpanded;
}

bool CheckDatabaseImage(const std::string& path, const BackupLimits& limits) {
  uint64_t image = 0;
  const bool sealed = guarded([&] {
    InputFile input(winpath::toNative(path));
    // The header and the password check only; the key stays in this thread's
    // cache for the open that follows.
    const db::SealedReader reader([&](std::span<uint8_t> buf) { return input.read(buf); },
                                  kComponentPassword, db::UnsealLimits{}, path);
    image = reader.imageSize();
  });
  if (!sealed) return true;
  constexpr const char* kImage = "its database image holds";
  std::error_code ec;
  return withinBound(image, limits, path, kImage) &&
         withinFreeSpace(image, fs::temp_directory_path(ec), path, kImage);
}

}  // namespace bq::dbmaint
