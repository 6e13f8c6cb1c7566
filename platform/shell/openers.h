// What opens a document, a folder or a web page on this desktop: the one
// table of the Linux programs that stand in for the Windows shell's file
// associations, Explorer's folder windows and Internet Explorer (beside the
// alias table of processes.h, which names the same programs for ending them).
//
//   what        tried in this order; the first one installed opens it
//   document    $BQ_OPEN; for an Office document LibreOffice (soffice) on
//               the exam's own profile (office_profile.h); the desktop's
//               opener (xdg-open) in a desktop session; for any other
//               document xdg-open
//   folder      $BQ_OPEN; xdg-open in a desktop session; a file manager
//               (pcmanfm, thunar, nautilus, nemo, caja, dolphin, pcmanfm-qt)
//   web page    $BQ_BROWSER; the exam client in browser mode
//               ("BqTestMy --browse", the program file beside the running
//               program, else BqTestMy in $PATH)
//
// A desktop session is one that names itself ($XDG_CURRENT_DESKTOP or
// $DESKTOP_SESSION set): there xdg-open knows the desktop's associations and
// file manager. Without one xdg-open only guesses by type (a folder may go to
// a web browser that cannot start, or to nothing, silently), so the table
// uses its own programs first.
//
// The path or address to open is the command's last argument. $BQ_OPEN and
// $BQ_BROWSER are commands whose words are split at blanks, without quoting;
// a set but blank variable counts as unset. A command word with a "/" is a
// path, any other is looked up in $PATH.
//
// An Office document is known by its name (.doc .docx .xls .xlsx .ppt .pptx
// and their template, macro and show variants, .rtf, the OpenDocument types)
// or by its content (an OLE2 compound file, a zip package with an Office Open
// XML content-types part or an OpenDocument mimetype, RTF), since question
// files carry legacy names over Office Open XML content and answers may come
// back under any name.
//
// Thread safety: all functions may be called from any thread; the
// environment must not change while they run.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace bq::shell {

enum class OpenKind { kDocument, kFolder, kWebPage };

// A program to start: the file to execute and its argument vector (args[0]
// is the program as the table or the variable names it).
struct ProgramCommand {
  std::filesystem::path program;
  std::vector<std::string> args;
};

// The command that opens `target` (for a document or folder its existing
// native path; for a web page a native path or an address, or "" for none,
// which leaves it out of the command). Throws AutomationError when nothing
// can open it: 53 "File not found: ..." naming the missing program and what
// to install (or the variable to set), 70 when the program named by a
// variable may not be run.
ProgramCommand openerFor(OpenKind kind, const std::string& target);

// Whether the file `native` is an Office document, by name or content (see
// above). False for anything unreadable that has no Office name.
bool isOfficeDocument(const std::filesystem::path& native);

// The LibreOffice program: $BQ_SOFFICE when set and not empty, else
// "soffice" found in $PATH, else /usr/lib/libreoffice/program/soffice when it
// may be run; empty when there is none.
std::filesystem::path libreOfficeProgram();

// `name` looked up in $PATH as execvp would: the first regular file that we
// may run. Throws 53 "File not found: NAME" when there is none, 70
// "Permission denied: NAME" when only files that may not be run were found.
std::filesystem::path searchPath(const std::string& name);

// A native command word: a path when it has a "/" (checked to be a regular
// file we may run; 53 / 70 / the file error as searchPath), else searched in
// $PATH. The error's text names the word.
std::filesystem::path resolveProgram(const std::string& word);

// Throws the failure to start `what`: AutomationError `number` whose text is
// the run-time error's own followed by ": " and `what` ("File not found:
// xdg-open").
[[noreturn]] void raiseStartError(int32_t number, const std::string& what);

// The words of the variable `variable` split at blanks; none when it is
// unset or blank.
std::vector<std::string> commandFromVariable(const char* variable);

}  // namespace bq::shell
