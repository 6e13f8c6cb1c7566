// The current user's registry, as far as the system writes it: a small file
// under the drives folder (common/winpath.h), <drives>/registry/HKCU.json,
// holding keys ("Software\Microsoft\...") with their named values. Key and
// value names are matched without regard to case, as the registry does (full
// Unicode upper case); a name keeps the spelling it was first written with.
// Leading and trailing "\" of a key path are ignored.
//
// The file is JSON, one member per key path, each an object of values:
//   { "Software\\Microsoft\\...\\Advanced": { "HideFileExt": { "type": "REG_DWORD", "data": 0 } } }
// A file that is not such an object (truncated, not JSON) counts as damaged:
// reads treat it as an empty registry; the next write first moves it aside,
// to "HKCU.json.damaged-XXXXXX" in the same folder, and then starts a
// registry holding only that write's value, so nothing it held is lost. A
// key of the wrong shape inside a good file is likewise read as missing, and
// a write to it moves the file aside the same way before replacing the key.
// A value of the wrong shape is read as missing and replaced when written.
//
// Writes replace the file atomically, so a crash never leaves it half
// written. Concurrent writers (threads or processes) may lose one another's
// last write (the original's callers never write at the same moment).
//
// Thread safety: all functions may be called from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace bq::shell::registry {

// Opens or creates `key` under the current user and sets its value `name` to
// the REG_DWORD `value`, replacing a value of that name of any type. False
// when the registry file cannot be read or written, or a name is not valid
// UTF-8 (the original's callers do not examine the result); never throws.
bool setDword(const std::string& key, const std::string& name, uint32_t value);

// The REG_DWORD value `name` of `key`, or nothing when the key, the value, or
// the registry file is missing or damaged, or the value is of another type.
// Throws AutomationError (70, ...) when the file exists but cannot be read.
std::optional<uint32_t> getDword(const std::string& key, const std::string& name);

}  // namespace bq::shell::registry
