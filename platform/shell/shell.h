// Running programs and opening documents: the scripting host's shell object
// ("Wscript.shell" Run) and the shell's OPEN verb.
//
// Nothing here waits for the program it starts: the child is detached (its
// own session, standard streams on /dev/null, default signal handling, none
// of the caller's other descriptors) and left to init to reap: the caller
// forks a child that forks the program and exits at once, so no zombie is
// left behind. Failures to start are still reported: the program's exec
// reports its errno back through a close-on-exec pipe.
//
// Commands keep the Windows form the system writes. run() splits the command
// line as the Windows C runtime does (splitCommandLine below), then looks at
// the first word, the program:
//   - "Explorer.exe X" (any case, with or without a folder before it) opens
//     the folder X as open() does; the further words, joined by single
//     spaces, are the folder. Without a folder it opens the drives folder
//     (common/winpath.h), as Explorer opens the computer's drives;
//   - "IEXPLORE.EXE X" opens X in the web browser of the opener table
//     (openers.h: $BQ_BROWSER, else the exam client in browser mode). X is
//     the further words joined by single spaces; a drive path or an absolute
//     path is mapped to the native path, a URL ("http://...", "file:...") and
//     anything else is passed as it stands. "IEXPLORE.EXE" alone opens the
//     browser without a page;
//   - a program word with a drive ("C:..."), "\" or "/" is a path, mapped
//     with common/winpath.h: a folder opens like "Explorer.exe"; a regular
//     file that we may execute runs; any other regular file is a document
//     and opens with the opener, unless its name has no extension or a
//     Windows program's (.exe .com .bat .cmd), which fails with 70 (a copied
//     or downloaded program needs its execute permission set). A folder or
//     document ignores the further words;
//   - any other program word is looked up in $PATH as written (no ".exe" is
//     added or removed).
// The further words are the program's arguments; those that are drive paths
// ("X:\..." or "X:/...") are mapped to native paths, since the program is a
// Linux program; all others pass as they stand. The program inherits the
// caller's working folder and environment.
//
// Documents and folders open with the program that the opener table of
// openers.h gives for them ($BQ_OPEN, the desktop's opener, LibreOffice for
// Office documents, a file manager for folders); the native path is its last
// argument. Every failure to start names what could not be started in the
// error's text ("File not found: xdg-open").
//
// Thread safety: all functions may be called from any thread; the environment
// must not change while they run.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace bq::shell {

// Starts `command` and returns at once. Throws AutomationError when the
// program cannot be started: 5 "Invalid procedure call or argument" for a
// blank command, 53 "File not found" for a missing program (or opener), 70
// "Permission denied" for one that may not be run, and the file error for the
// errno of a failed exec otherwise (75 for a file the kernel cannot execute).
// The caller decides whether to ignore it.
void run(const std::string& command);

// Opens the document or folder `path` (Windows or POSIX form) with the opener
// and returns at once. Throws AutomationError 5 for an empty path, 53 / 76
// when `path` does not exist (76 when its folder is missing too), and as
// run() does when nothing can open it or its opener cannot be started.
void open(const std::string& path);

// The words of the Windows command line `line`, as the Windows C runtime
// splits it: words are separated by spaces and tabs outside double quotes.
// In the first word (the program) a quote only opens or closes a quoted
// part and backslashes are plain characters, so "C:\Program Files\x.exe"
// (quoted) is one word. In the other words, 2n backslashes before a quote
// give n backslashes and the quote opens or closes a quoted part, 2n+1 give
// n backslashes and a literal quote, backslashes before anything else are
// plain, and "" inside a quoted part is a literal quote. A quoted empty word
// ("") is kept. A blank line gives no words.
std::vector<std::string> splitCommandLine(std::string_view line);

}  // namespace bq::shell
