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
};

// When the file at `path` is a backup file, deletes the temporary database,
// expands every block of the file into a new one (showing the share done on
// `picture` after every block) and sets `path` to TempDatabasePath(). A block
// that fails its check leaves no temporary database and `path` unchanged,
// after the message kDamagedBackupMessage with the fault's place. Throws the
// file errors of reading `path` and writing the temporary database.
Expansion ExpandFile(PictureArg picture, std::string& path);

}  // namespace bq::dbmaint
