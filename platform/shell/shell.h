// Running programs and opening documents: the scripting host's shell object
// ("Wscript.shell" Run) and the shell's OPEN verb.
//
// Nothing here waits for the program it starts: the child is detached (its
// own session, standard streams on /dev/null) and reaped, so no zombie is
// left behind. Commands keep the Windows form the system writes:
//   - "Explorer.exe X" opens the folder X;
//   - "IEXPLORE.EXE X" opens X in the browser;
//   - a program path (Windows or POSIX; mapped with common/winpath.h) followed
//     by arguments runs that program;
//   - a document or folder path given to open() opens with $BQ_OPEN, else
//     xdg-open.
// Quoted words ("C:\Program Files\x.exe" a b) are one word each, as the
// Windows command line splits them.
//
// Thread safety: all functions may be called from any thread.
#pragma once

#include <string>

namespace bq::shell {

// Starts `command` and returns at once. Throws AutomationError when the
// program cannot be started (53 "File not found" for a missing program,
// 70 "Permission denied" for one that may not be run); the caller decides
// whether to ignore it.
void run(const std::string& command);

// Opens the document or folder `path` (Windows or POSIX form) as the shell's
// OPEN verb does and returns at once. Throws AutomationError when `path` does
// not exist (53 / 76) or no opener can be started.
void open(const std::string& path);

}  // namespace bq::shell
