// Backup files: the marker "BQCompressPattern" (17 single-byte characters)
// followed by the compressed blocks (dbmaint/block_stream.h) of the
// temporary database file, one block per 16384-byte chunk, in file order.
//
// Writing replaces the destination whole or not at all: the file is written
// beside it and renamed into place after its last block, so a failed backup
// never destroys the previous one. Reading checks every block before the
// temporary database is replaced, so a damaged or truncated backup file
// yields nothing at all.
//
// Reading is bounded. Before anything is written, the block headers are
// read from one to the next (nothing expanded) and the bytes they announce
// must stay within BackupLimits::maxDatabaseBytes and, with
// kFreeSpaceReserve to spare, within the free space of the temporary
// database's folder. The database a restore opens is bounded the same way
// (CheckDatabaseImage): its image goes to a private file of the system's
// temporary folder while it is open.
//
// Thread safety: no shared state; the files are the caller's to keep apart.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/automation_error.h"
#include "dbmaint/progress.h"

namespace bq::dbmaint {

inline constexpr std::string_view kBackupMarker = "BQCompressPattern";
inline constexpr const char* kDamagedBackupMessage = "出错，备份文件已损坏，没有恢复任何数据！";
inline constexpr const char* kBackupTooLargeMessage =
    "出错，备份文件展开后超过允许的大小，没有恢复任何数据！";
inline constexpr const char* kNoSpaceForBackupMessage =
    "出错，磁盘空间不足，无法展开备份文件，没有恢复任何数据！";

// The most bytes a backup's database may take, expanded from its blocks
// and unpacked as an image. The original engine's databases could not pass
// 2 GB; a backup of this system's tables stays far below either.
inline constexpr uint64_t kMaxBackupDatabaseBytes = 4ull << 30;

// Free space left in a folder after an expansion or an unpacked image.
inline constexpr uint64_t kFreeSpaceReserve = 1ull << 20;

struct BackupLimits {
  uint64_t maxDatabaseBytes = kMaxBackupDatabaseBytes;
};

// Sizes `buffer` for the next chunk of a file with `rest` bytes left: 16384
// bytes, or `rest` when fewer are left (the buffer stays as it is when none
// are). Returns the bytes left after that chunk.
uint64_t NextChunk(uint64_t rest, std::vector<uint8_t>& buffer);

// Writes the backup file `destination` from the file `source` (Windows or
// POSIX paths), showing the share done on `picture` after every chunk. True
// when the file is in place; false when a read or write failed (the error in
// `failure`), leaving any earlier file at `destination` as it was. Throws
// only what the picture control throws.
bool CompressFile(PictureArg picture, const std::string& source, const std::string& destination,
                  AutomationError* failure = nullptr);

enum class Expansion {
  kNotBackupFile,  // `path` does not begin with the marker: use the file as it is
  kExpanded,       // `path` now names the temporary database holding the data
  kDamaged,        // a block failed its check: kDamagedBackupMessage was shown
  kTooLarge,       // the blocks announce more than the bound: kBackupTooLargeMessage
  kNoSpace,        // more than the free space: kNoSpaceForBackupMessage
};

// When the file at `path` is a backup file, checks what its blocks announce
// against `limits` and the free space, deletes the temporary database,
// expands every block of the file into a new one (showing the share done on
// `picture` after every block) and sets `path` to TempDatabasePath(). A
// refused or damaged file leaves no temporary database (an earlier one may
// have been deleted) and `path` unchanged, after the message of its result
// with the file and the reason. Throws the file errors of reading `path` and
// writing the temporary database.
Expansion ExpandFile(PictureArg picture, std::string& path, const BackupLimits& limits = {});

// Whether the database file at `path` may be opened for a restore: false,
// after kBackupTooLargeMessage or kNoSpaceForBackupMessage, when it is a
// sealed database whose image is larger than `limits` allow or than the free
// space of the system's temporary folder (where the image is unpacked while
// it is open). True for anything else, including files that are no sealed
// database or not under the component password: opening them reports that.
bool CheckDatabaseImage(const std::string& path, const BackupLimits& limits = {});

}  // namespace bq::dbmaint
