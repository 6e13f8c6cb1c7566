// Processes: a snapshot of every running process and ending one by its
// identifier, standing in for the Windows process snapshot and TerminateProcess.
//
// The executable file name of a process is the last component of the file it
// runs: the target of /proc/PID/exe, or, where that cannot be read (another
// user's process), the last component of its argv[0] (the command line up to
// its first NUL, spaces included). It is never the 15-character `comm` field,
// which cuts names. A program file that was removed or replaced while it runs
// keeps its name (the kernel's " (deleted)" mark is dropped). Processes with
// neither (kernel threads, zombies) are not listed: there is nothing to match
// or end.
//
// Ending processes by name (the web component's EndProcessesByName) is built
// on these three: upper-case each exeFile and end the entries that contain
// the upper-cased name or one of its linuxCounterparts.
//
// Thread safety: all functions may be called from any thread.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace bq::shell {

struct ProcessEntry {
  int pid = 0;
  std::string exeFile;  // executable file name, as the process runs it ("soffice.bin")
  int ppid = 0;         // the parent's identifier; 0 when unknown
};

// Every process of the system, in ascending identifier order. Processes that
// end while the snapshot is taken are left out. Never fails: an unreadable
// /proc gives an empty list.
std::vector<ProcessEntry> processSnapshot();

// The entries of `snapshot` that descend from process `root` (its children,
// their children, ...), in snapshot order; `root` itself is not among them.
std::vector<ProcessEntry> descendantsOf(const std::vector<ProcessEntry>& snapshot, int root);

// The identifiers of the processes whose parent is `parent`, in ascending
// order, zombies included (they wait to be reaped). Empty when /proc cannot
// be read.
std::vector<int> childProcesses(int parent);

// The processes that ending by name may end: processSnapshot(), or, when the
// environment variable BQ_PROCESS_SCOPE holds a process identifier, only the
// processes descended from that process (descendantsOf). The test programs
// set it to their own identifier (common/testing/process_scope.cpp), so that
// a test ends only the processes it started, never a developer's own
// LibreOffice or viewer. A value that is no identifier ends nothing.
std::vector<ProcessEntry> endableProcesses();

// Ends process `pid` at once (SIGKILL; the exit code of the original's
// TerminateProcess has no counterpart). False when it could not be ended
// (gone, or not ours to end) and for pid <= 0, which kill() would read as a
// process group; never throws. The calling process is not protected: ending
// it ends the caller there and then, as TerminateProcess did.
// The signal is sent, not awaited: the process may still be listed for a
// moment, and a child of the caller stays a zombie until the caller reaps it.
bool terminateProcess(int pid);

// The Linux executable names that also stand for the Windows program name
// `upperName` (upper-cased, e.g. "EXCEL.EXE" gives {"SOFFICE.BIN"},
// "IEXPLORE.EXE" gives {"BQTESTMY"}, "QUESTIONPANE.EXE" gives {"QUESTIONPANE"}),
// upper-cased; empty for names without a counterpart ("EXPLORER.EXE": the
// desktop's file manager is never ended). The lookup is by the whole name
// (ASCII letters compared without regard to case), not by substring. The one
// table of such aliases in the system.
std::vector<std::string> linuxCounterparts(std::string_view upperName);

// The X11 window class (the WM_CLASS class name) of the main window of the
// Linux program that stands in for the Windows program whose main window has
// the class `windowsClass`, compared without regard to case: "xlmain"
// (Excel's) gives "libreoffice-calc" (LibreOffice Calc's, once a spreadsheet
// is open). "" for classes without one. The one table of such window classes,
// beside the program names above.
std::string linuxWindowClass(std::string_view windowsClass);

// The identifier of the calling process.
int currentProcessId();

// The name of this machine (gethostname); "" when it cannot be read.
std::string hostName();

// The folder of the file that holds the code at `address` (a function of the
// caller's): the shared library it is in, or the program it is linked into.
// Empty when neither can be found.
std::filesystem::path moduleFolder(const void* address);

}  // namespace bq::shell
