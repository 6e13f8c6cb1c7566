// The e-mail extractor: the checked fields of every ".eml" message of a folder.
//
// A message's field list holds, in file order, the sender's and receivers'
// user names, subject texts and attachment file names found in it, with no
// labels. The result dictionary maps each message's first field, upper-cased,
// to its field list; a later message with the same key replaces the earlier.
//
// Files are read in the ANSI code page with the original's sequential field
// reader (common/sequential_input.h); header values are taken as they stand.
//
// Thread safety: no shared state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/dictionary.h"

namespace bq {

using MailFieldList = std::vector<std::string>;
using MailDictionary = Dictionary<MailFieldList>;

// Replaces d by a new dictionary of the messages of the folder cPath (a
// Windows or POSIX path, no trailing "\"). The messages are the entries that
// are not folders and whose names end in ".eml" without regard to case, in
// the folder's listing order (hidden names are not listed); a missing folder
// has none. No handler: a failure (folder unreadable, a file that cannot be
// opened, an empty file: 62, more than 32767 fields in one file: 6, a file
// larger than limits::kMailMessage: 7) ends the call with an
// AutomationError; d then holds the messages read before it.
void GetMailZSDFromPath(const std::string& cPath, MailDictionary& d);

// Reads the message file `file` (a Windows or POSIX path) and appends its
// fields to `list`; returns the number of fields in `list`. Fails with 53 when
// the file is missing (76 when its folder is missing too), 70 when it may not
// be read, 75 when it is a folder, 7 when it is larger than
// limits::kMailMessage (common/read_limits.h).
int16_t ReadMailFields(const std::string& file, MailFieldList& list);

// The same on the file's bytes (ANSI code page), already read. Every item of
// the sequential reader gives at most one field, never an empty one. Fails
// with 62 when `bytes` is empty, and with 6 when `list` would grow past 32767
// fields; `list` then keeps the fields appended before the failure.
int16_t ReadMailFieldsFromBytes(std::string_view bytes, MailFieldList& list);

// The value after `key` in `text` (key searched in the lower-cased text; the
// first character after the key is dropped), cut before `stop` when given
// (empty when `stop` does not occur). Empty when `key` does not occur.
// Positions are UTF-16 code units, as the original counted them.
// REQUIRES: key is lower case (it is compared with the lower-cased text).
std::string GetMailField(const std::string& text, std::string_view key,
                         std::optional<std::string_view> stop);

}  // namespace bq
