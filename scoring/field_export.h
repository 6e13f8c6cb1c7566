// Export of a question file kept in a long binary field as a sequence of
// compressed blocks (dbmaint/blocks.h) into a disk file.
//
// Thread safety: no shared state; the record set belongs to the calling thread.
#pragma once

#include <string>

#include "platform/db/recordset.h"

namespace bq {

// Writes the data of field `cFld` of the current record of `rst` to the file
// `cFile` (a Windows or POSIX path), expanding the field block by block as
// it reads it with GetChunk. Returns true when the file has been written.
//
// The file is written whole or not at all: the data goes to a file beside it
// that replaces it only when every block has expanded (an existing longer
// file therefore keeps no old tail, and a failure leaves the old file as it
// was). A field that is Null from the start gives an empty file.
//
// Failures throw AutomationError: the data-access errors (no such field 3265,
// closed record set 3704, no current record 3021), the file errors (76 path
// not found, 70 permission denied, ...), and 5 "Damaged compressed block K at
// byte offset N of field F: ..." when a block's header is not six digit
// values, its data is cut short, or it does not expand to its stated length.
bool GetOleData(db::Recordset& rst, const std::string& cFile, const std::string& cFld);

}  // namespace bq
