// Processes: a snapshot of every running process and ending one by its
// identifier, standing in for the Windows process snapshot and TerminateProcess.
//
// The executable file name of a process is the last component of the file it
// runs: the target of /proc/PID/exe, or, where that cannot be read (another
// user's process, a kernel thread), the first word of its command line. It is
// never the 15-character `comm` field, which cuts names.
//
// Thread safety: all functions may be called from any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace bq::shell {

struct ProcessEntry {
  int pid = 0;
  std::string exeFile;  // executable file name, as the process runs it ("soffice.bin")
};

// Every process of the system, in ascending identifier order. Processes that
// end while the snapshot is taken are left out. Never fails: an unreadable
// /proc gives an empty list.
std::vector<ProcessEntry> processSnapshot();

// Ends process `pid` at once (SIGKILL; the exit code of the original's
// TerminateProcess has no counterpart). False when it could not be ended
// (gone, or not ours to end); never throws.
bool terminateProcess(int pid);

// The Linux executable names that also stand for the Windows program name
// `upperName` (upper-cased, e.g. "EXCEL.EXE" gives {"SOFFICE.BIN"},
// "IEXPLORE.EXE" gives {"BQTESTMY"}, "QUESTIONPANE.EXE" gives {"QUESTIONPANE"}),
// upper-cased; empty for names without a counterpart. The one table of such
// aliases in the system.
std::vector<std::string> linuxCounterparts(std::string_view upperName);

}  // namespace bq::shell
