// The current user's registry, as far as the system writes it: a small file
// under the drives folder (common/winpath.h), <drives>/registry/HKCU.json,
// holding keys ("Software\Microsoft\...") with their named values. Key and
// value names are matched without regard to case, as the registry does.
//
// Writes replace the file atomically, so a crash never leaves it half
// written. Concurrent writers in different processes may lose one another's
// last write (the original's callers never write at the same moment).
//
// Thread safety: all functions may be called from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace bq::shell::registry {

// Opens or creates `key` under the current user and sets its value `name` to
// the REG_DWORD `value`. False when the registry file cannot be written (the
// original's callers do not examine the result); never throws.
bool setDword(const std::string& key, const std::string& name, uint32_t value);

// The REG_DWORD value `name` of `key`, or nothing when the key, the value, or
// the registry file is missing, or the value is of another type.
std::optional<uint32_t> getDword(const std::string& key, const std::string& name);

}  // namespace bq::shell::registry
