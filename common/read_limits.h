// The bounds on input from outside the program: files an examinee's answer
// or an exam page names, the user's settings, the folders an answer is read
// from. One bound per use; passing one fails with AutomationError 7 "Out of
// memory" whose description names the bound and the file (raiseReadLimit in
// common/files.h), before the memory it guards is taken. docs/limits.md lists
// them all, with the Office files' bounds
// (platform/office/shared/limits.h).
//
// The values leave ample room for every real answer: an e-mail message with
// its attachments is a few megabytes, an operation list some kilobytes.
#pragma once

#include <cstdint>

#include "common/files.h"

namespace bq::limits {

// One .eml file read by the e-mail extractor (GetMailZSDFromPath).
inline constexpr ReadLimit kMailMessage{64ull << 20, "e-mail message"};

// The first line of the file GetOpZSDFromFile reads: bytes before its line
// break (a list of 32767 items of 260 characters is under 9 MiB).
inline constexpr ReadLimit kOperationListLine{16ull << 20, "first line of the operation list"};

// The per-user registry file (platform/shell/registry.h).
inline constexpr ReadLimit kRegistryFile{1ull << 20, "registry file"};

// The folder walk of GetOperationZSD: entries listed in all, and folders
// below the starting folder (a Windows path of 32767 characters holds at
// most about 16000 levels; real answers have a handful).
inline constexpr uint64_t kMaxWalkEntries = 200'000;
inline constexpr uint32_t kMaxWalkDepth = 256;

}  // namespace bq::limits
