// ZipModule: the calls into the Info-ZIP libraries for the archive classes,
// the routines the libraries call back, and the per-thread message text
// LastMessage that both classes report.
//
// The records are filled here field by field and handed to this thread's
// library (platform/infozip/infozip.h); texts go over as ANSI.
//
// Thread safety: LastMessage, the collected print text, the password-refused
// flag and the entry count are per thread; a run and its routines stay on the
// calling thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace bq::archive {

// This thread's LastMessage: the messages of the most recent zip or unzip run.
const std::string& LastMessage();

// The name list as MakeZipFile fills it: 100 texts, unused ones absent (null).
using ZipNameList = std::array<std::optional<std::string>, 100>;

// The zip routine: empties LastMessage, fills the notification table and the
// option record (junk folders, recurse, update, freshen, the root folder in
// upper case; every other option 0) and calls ZpInit, ZpSetOptions and
// ZpArchive. A call that fails (a missing library or entry point) is skipped
// and the next one runs. Returns the result of the last call that returned;
// 0 when none did. Never throws AutomationError.
int32_t VBZip(int32_t argc, const std::string& zipFileName, const ZipNameList& names,
              int16_t junkFolders, int16_t recurse, int16_t update, int16_t freshen,
              const std::string& rootDirectory);

// The fifteen options of an unzip run, in the option record's order.
struct UnzipFlags {
  int16_t ExtractOnlyNewer = 0;
  int16_t SpaceToUnderScore = 0;
  int16_t PromptOverwrite = 0;
  int16_t MessageLevel = 0;
  int16_t WriteToStdOut = 0;
  int16_t TestZip = 0;
  int16_t ExtractList = 0;
  int16_t ExtractNewer = 0;
  int16_t DisplayComment = 0;
  int16_t HonorDirectories = 0;
  int16_t OverWriteFiles = 0;
  int16_t ConvertCRtoCRLF = 0;
  int16_t Verbose = 0;
  int16_t CaseSensitive = 0;
  int16_t Privilege = 0;
};

// The unzip routine: empties LastMessage, the collected print text and the
// include and exclude lists, clears the entry count and the password-refused
// flag, fills the option record, the request table and the version record,
// calls UzpVersion2 and Wiz_SingleEntryUnzip and returns the latter's result.
// Any failure throws AutomationError with its own number and description and
// the source "CodeModule::VBUnzip".
int32_t VBUnzip(const std::string& zipFileName, const std::string& extractDir,
                const UnzipFlags& flags);

// The routines handed to the libraries, exposed for tests: the zip print
// routine, and the unzip print, overwrite-question and password routines.
int32_t ZipPrint(const char* text, uint32_t length);
int32_t UnzipPrint(const char* text, uint32_t length);
int32_t UnzipReplace(char* name);
int32_t UnzipPassword(char* buffer, int32_t size, const char* prompt, const char* name);

// The number of entry messages of this thread's most recent unzip run.
int32_t EntryMessageCount();

}  // namespace bq::archive
