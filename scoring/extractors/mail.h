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

// Replaces d by a new dictionary of the messages of the folder cPath (no
// trailing "\"). No handler: a failure (folder unreadable, a file that cannot
// be opened, an empty file: 62, more than 32767 fields in one file: 6) ends
// the call with an AutomationError; d then holds the messages read before it.
void GetMailZSDFromPath(const std::string& cPath, MailDictionary& d);

// Reads the message file `file` and appends its fields to `list`; returns the
// number of fields in `list`.
int16_t ReadMailFields(const std::string& file, MailFieldList& list);

// The same on the file's bytes, already read.
int16_t ReadMailFieldsFromBytes(std::string_view bytes, MailFieldList& list);

// The value after `key` in `text` (key searched in the lower-cased text; the
// first character after the key is dropped), cut before `stop` when given
// (empty when `stop` does not occur). Empty when `key` does not occur.
std::string GetMailField(const std::string& text, std::string_view key,
                         std::optional<std::string_view> stop);

}  // namespace bq
