// Conversion of legacy binary Office files (Office 97-2003 .doc, .xls, .ppt)
// to Office Open XML with LibreOffice, so the object models read one format.
//
// LibreOffice runs as `soffice --headless --convert-to FORMAT` on a private
// copy of the file, in a private temporary folder that also holds its user
// profile, so it neither touches nor waits for a LibreOffice the user is
// running. The import filter is named (Excel, Word or PowerPoint 97, which
// also read the older binary versions), so a file of another kind, or one
// damaged beyond reading, fails instead of coming back as imported text.
// The program runs in its own process group and is killed with everything it
// started when it exceeds its time; whatever it leaves running after it ends
// is killed too.
//
// A thread that has a resident converter (resident_converter.h) converts
// with it instead, on the same private copy and into the same folder.
//
// The program is $BQ_SOFFICE when set and not empty, else "soffice" looked
// up in $PATH, else /usr/lib/libreoffice/program/soffice when present.
//
// Thread safety: all functions may be called from any thread; conversions
// on different threads use different folders and profiles.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/office/legacy/convert_to.h"
#include "platform/office/legacy/soffice.h"
#include "platform/office/shared/failure.h"

namespace bq::office {

struct ConvertedFile {
  TempFolder folder;
  std::filesystem::path file;  // the converted file, inside `folder`
};

// Converts the legacy file in the open regular file `sourceFd` (read from
// its start; the descriptor stays the caller's) into `target`. Throws
// through `failure` when LibreOffice is not installed, cannot be started,
// exceeds `timeout`, or produces no file (the description quotes the last
// line it printed).
// REQUIRES: target != ConvertTo::None.
ConvertedFile convertLegacyFile(int sourceFd, ConvertTo target, std::chrono::milliseconds timeout,
                                const Failure& failure);

struct ProcessOutcome {
  int spawnError = 0;     // errno when the program could not be started
  bool timedOut = false;  // killed at the deadline
  int waitStatus = 0;     // as waitpid reports it
};

// Runs argv[0] (a path) with the arguments argv[1..], standard input from
// /dev/null and standard output and error appended to the file `log`, in a
// new process group, and waits at most `timeout`; then, or when it has
// ended, kills its process group with SIGKILL and reaps it.
// REQUIRES: !argv.empty().
ProcessOutcome runBounded(const std::vector<std::string>& argv, const std::filesystem::path& log,
                          std::chrono::milliseconds timeout);

}  // namespace bq::office
