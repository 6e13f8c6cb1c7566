// The Info-ZIP call interface done with libzip, behaving as the zip and unzip
// tools whose library interface it is (their messages, their exit codes).
//
// ZpArchive (zip):
//   - Relative names, and a relative archive name, are taken in szRootDir
//     (when set; "\" is the root folder); drive paths map through
//     common/winpath.h, existing components matched without regard to case.
//   - A name that matches nothing prints "\tzip warning: name not matched:
//     NAME" and the run goes on; with nothing to archive the run prints
//     "zip error: Nothing to do! (ARCHIVE)" and answers 12, writing nothing.
//     "*" and "?" in a name's last component match files of its folder
//     without regard to case.
//   - A folder adds its own entry ("dir/", unless fNoDirEntries) and, with
//     fRecurse, everything visible below it, in the order the folder lists
//     (hidden names, beginning with ".", are left out; a link to a folder is
//     stored as a folder and not walked).
//   - Stored names: as the caller wrote the name, with "/" separators, the
//     drive and leading separators dropped, no "." or ".." component (only
//     the file name with fJunkDir); UTF-8, flagged as such when not ASCII.
//   - An existing archive is updated: named files are added or replace
//     their entries (only when newer with fUpdate; with fFreshen only
//     existing entries that are older), the other entries are kept. The
//     new archive is written beside the old one and renamed into place, so
//     a failed run leaves the old archive as it was.
//   - Deflate at fLevel (6 by default; 0 stores), files that do not shrink
//     stored; with fEncrypt, traditional zip encryption with the password
//     asked twice through the password routine.
//   - Messages (unless fQuiet): "  adding: NAME (deflated N%)",
//     "updating: NAME (stored 0%)" for each entry written, after the archive
//     is complete.
//   - Results: 0; 3 the existing archive is damaged or not a zip file;
//     9 the service routine stopped the run; 12 nothing to do; 14 the
//     archive could not be written; 15 it could not be created; 16 no
//     archive name; 18 a named file could not be read (the others are
//     archived).
//
// Wiz_SingleEntryUnzip (unzip):
//   - The archive is taken as named, else with ".zip" or ".ZIP" added; the
//     extraction folder (created when missing) is the current folder when
//     lpszExtractDir is empty.
//   - Entries never leave the extraction folder: drives, leading separators
//     and ".." components are dropped with a warning; entries that are
//     symbolic links are skipped with a warning and never made; an entry
//     whose folder on disk is a symbolic link is refused. Existing names are
//     matched without regard to case, as on Windows. Files are written
//     beside their target and renamed into place: an entry that fails
//     leaves no partial file and the earlier file as it was. Files get the
//     process's default mode, plus the execute bits the entry has.
//   - Before anything is written, the declared sizes are checked against
//     the bounds of limits.h and the free space of the target (refused:
//     12 or 50), and an archive whose entries share bytes is refused (12,
//     central_directory.h); while inflating, an entry that yields more than
//     its declared size is stopped and fails.
//   - Existing files: with PromptToOverwrite the replace routine is asked
//     (102 yes, 103 yes to all, 100 no, 104 no to all); otherwise noflag
//     overwrites and its absence keeps the file. nfflag (freshen) replaces
//     only existing older files; ExtractOnlyNewer also extracts new files.
//   - Encrypted entries (traditional and AES): the password that opened an
//     earlier entry is tried first; then the password routine is asked, at
//     most twice per entry; an answer other than 0 skips the entry.
//   - Messages at fQuiet 0: "Archive:  NAME", "  inflating: NAME",
//     " extracting: NAME", "   creating: NAME/"; warnings and errors at
//     every level. ntflag tests ("    testing: NAME   OK", "No errors
//     detected in compressed data of NAME."), nvflag lists (as unzip -l, or
//     unzip -v with nZIflag) and calls the message routine for each entry,
//     ncflag sends the contents to the print routine, nzflag prints the
//     comment. naflag gives text entries (no control characters other than
//     tab, line ends, form feed) CR LF line ends.
//   - Results: the unzip_result codes of infozip.h.
#pragma once

#include <memory>

#include "platform/infozip/infozip.h"

namespace bq::infozip {

// A new library object. Routines and options set on it apply to its own
// later ZpArchive calls.
std::shared_ptr<Library> makeLibzipLibrary();

}  // namespace bq::infozip
