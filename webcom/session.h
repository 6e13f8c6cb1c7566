// The test session of the web component: clearing and creating the working
// folders, the end-of-test window, and ending programs by name.
//
// These are the module routines behind BQCOM's session methods. Paths are
// Windows paths as the pages give them (common/winpath.h maps them).
//
// The operation root of a session is the folder "X:\BqOperation", X being
// the first character of cPath, which is taken to be a drive letter.
//
// Failures: CreateOpDirs, EndTest, TermProc and EndProcessesByName have no
// handler of their own: a failing step ends the routine with its
// AutomationError, and the steps already done stay done. PreTest never fails.
//
// Thread safety: the end-of-test window is per thread (webcom/frm_ftp.h);
// nothing else is shared. The file-system effects are, of course, visible to
// every thread and process.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/shell/processes.h"

namespace bq {

// "X:\BqOperation" for a cPath whose first character X is an ASCII letter;
// nothing otherwise (there is no such drive).
std::optional<std::string> OperationRoot(const std::string& cPath);

// Creates the folder cPath and the operation root, then the folders and files
// that the operation list cZSD names under the root, in the list's order
// (split as SplitOpZSD splits it: empty items skipped, repeats folded), and
// makes the file manager show file extensions (HideFileExt = 0 in the
// registry). An item ending in "\" is a folder, created when missing; any
// other item is a file that gets the line "岚屿克祝您好运！" and CR LF in the
// ANSI code page, replacing what was there. Folders are created one level at
// a time: a list names parents before their children.
//
// When the folder cPath already exists, does nothing at all.
//
// Everything it creates lies on the mapped drives (winpath::toNativeOnDrive).
//
// Fails with, at the step that fails:
//   5  "Invalid procedure call or argument": cPath is empty (nothing created);
//   75 "Path/File access error": cPath is no drive path (a POSIX path), or
//      leads out of its drive through a symbolic link (nothing created);
//   76 "Path not found": the parent of cPath or of an item is missing;
//   58 "File already exists": a file stands where a folder is to be created;
//   75 "Path/File access error": an item that would lead out of the
//      operation root ("..", a drive, a leading "\" or "/", a link inside
//      the drive to a place outside it); nothing of that item is created;
// or the file-system error of a write.
void CreateOpDirs(const std::string& cPath, const std::string& cZSD);

// Deletes everything in the folder cPath, then cPath itself, then the
// operation root, each with all it holds (read-only entries included).
// Nothing happens when cPath is not an existing folder (not even to the
// root). Every step goes on when the one before it failed (an entry in use,
// one that may not be removed); PreTest itself never fails.
//
// It deletes only on the mapped drives (winpath::toNativeOnDrive): for a
// cPath that is no drive path, or leads out of its drive through a symbolic
// link, nothing at all happens. It never clears a drive's root folder: for
// such a cPath only the operation root is deleted.
void PreTest(const std::string& cPath);

// Shows this thread's end-of-test window modally and returns when it is
// closed; its double-click closes it and ends every browser process
// (EndProcessesByName "IEXPLORE.EXE"). cPath is not used.
// The window goes through this thread's user-interface back end when one is
// set, else through Qt on the display. Fails with 429 when there is no
// display (or the back end set cannot show windows), 481 when the picture
// cannot be shown, or with the error of the double-click's process walk.
void EndTest(const std::string& cPath);

// Ends every question-text viewer (EndProcessesByName "QuestionPane.exe").
void TermProc();

// Ends every process (of shell::endableProcesses(): all of them, or in a
// test program only those it started) whose executable file name,
// upper-cased, contains `name` upper-cased, or contains one of the Linux
// counterparts of that name (platform/shell/processes.h). Processes that cannot be ended are passed
// over. Fails with 6 "Overflow" when more than 32768 processes run (the
// process table's rows are counted with a 16-bit number); nothing is ended
// then. An empty `name` ends nothing.
void EndProcessesByName(const std::string& name);

// The identifiers of the processes of `snapshot`, in its order, that
// EndProcessesByName(name) ends. Fails as EndProcessesByName does.
std::vector<int> ProcessesToEnd(const std::vector<shell::ProcessEntry>& snapshot,
                                const std::string& name);

}  // namespace bq
