#include "archive/zip_module.h"

#include <algorithm>
#include <cstring>

#include "common/ansi.h"
#include "common/automation_error.h"
#include "common/text.h"
#include "platform/infozip/infozip.h"
#include "platform/ui/ui.h"

namespace bq::archive {
namespace {

namespace iz = bq::infozip;

thread_local std::string tLastMessage;
thread_local std::string tCollected;  // the unzip run's print text
thread_local bool tPasswordRefused = false;
thread_local int32_t tEntryMessages = 0;

constexpr uint32_t kZipPrintLast = 4096;     // highest index the zip print routine reads
constexpr uint32_t kUnzipPrintLast = 32800;  // likewise for unzip
constexpr size_t kReplaceNameMax = 256;

// Bytes of `text` from index 0 while index <= last, up to the first zero byte.
std::string collect(const char* text, uint64_t last) {
  std::string bytes;
  if (!text) return bytes;
  for (uint64_t i = 0; i <= last && text[i] != '\0'; ++i) bytes += text[i];
  return bytes;
}

// With no encryption and no comment editing asked for, zip has no reason to
// call these two; they answer as if the user gave nothing.
int32_t ZipPassword(char*, int32_t, const char*, const char*) { return 1; }
char* ZipComment(char* comment) { return comment; }

void EntryMessage(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                  char, const char*, const char*, uint32_t, char) {
  ++tEntryMessages;
}

int32_t Service(const char*, uint32_t) { return 0; }

// Runs one call into the library; a failure (a missing library or entry
// point) leaves `result` as it was.
template <typename F>
void guarded(int32_t& result, F&& call) {
  try {
    result = call();
  } catch (const AutomationError&) {
  }
}

void fillBlank(char* field, size_t size) {
  std::memset(field, ' ', size - 1);
  field[size - 1] = '\0';
}

}  // namespace

const std::string& LastMessage() { return tLastMessage; }

int32_t EntryMessageCount() { return tEntryMessages; }

int32_t ZipPrint(const char* text, uint32_t length) {
  tLastMessage += fromAnsi(collect(text, std::min<uint32_t>(length, kZipPrintLast)));
  ui::DoEvents();
  return 0;
}

int32_t UnzipPrint(const char* text, uint32_t length) {
  std::string piece;
  if (length > 0) piece = fromAnsi(collect(text, std::min<uint32_t>(length - 1, kUnzipPrintLast)));
  if (!piece.empty() && piece[0] == '\n') piece = "\r\n";
  tCollected += piece;
  tLastMessage = tCollected;
  return 0;
}

int32_t UnzipReplace(char* name) {
  std::string bytes;
  for (size_t i = 0; name && i < kReplaceNameMax && name[i] != '\0'; ++i) bytes += name[i];
  switch (ui::MsgBox("Overwrite " + fromAnsi(bytes) + "?", ui::vbYesNoCancel + ui::vbExclamation,
                     "VBUnZip32 - File Already Exists!")) {
    case ui::vbYes: return iz::replace::kYes;
    case ui::vbCancel: return iz::replace::kNone;
    default: return iz::replace::kNo;
  }
}

int32_t UnzipPassword(char* buffer, int32_t size, const char*, const char*) {
  if (tPasswordRefused) return 1;
  const std::string answer = ui::InputBox("Please Enter The Password!");
  if (answer.empty()) {
    tPasswordRefused = true;
    return 1;
  }
  if (!buffer || size <= 0) return 1;
  // The answer is cut to what the buffer holds with its terminating zero.
  const std::string ansi = toAnsi(answer);
  std::memset(buffer, 0, static_cast<size_t>(size));
  std::memcpy(buffer, ansi.data(), std::min<size_t>(ansi.size(), static_cast<size_t>(size) - 1));
  return 0;
}

int32_t VBZip(int32_t argc, const std::string& zipFileName, const ZipNameList& names,
              int16_t junkFolders, int16_t recurse, int16_t update, int16_t freshen,
              const std::string& rootDirectory) {
  tLastMessage.clear();
  int32_t result = 0;
  iz::ZipUserFunctions functions;
  functions.print = ZipPrint;
  functions.password = ZipPassword;
  functions.comment = ZipComment;
  functions.service = nullptr;

  iz::ZipOptions options;
  options.fJunkDir = junkFolders;
  options.fRecurse = recurse;
  options.fUpdate = update;
  options.fFreshen = freshen;
  const std::string root = toAnsi(ucase(rootDirectory));
  options.szRootDir = root.c_str();

  std::array<std::string, iz::kNameListSize> texts;
  iz::ZipNames list;
  for (size_t i = 0; i < names.size(); ++i) {
    if (!names[i]) continue;
    texts[i] = toAnsi(*names[i]);
    list.s[i] = texts[i].c_str();
  }
  const std::string zipName = toAnsi(zipFileName);

  guarded(result, [&] { return iz::library().ZpInit(functions); });
  guarded(result, [&] { return iz::library().ZpSetOptions(options); });
  guarded(result, [&] { return iz::library().ZpArchive(argc, zipName.c_str(), list); });
  return result;
}

int32_t VBUnzip(const std::string& zipFileName, const std::string& extractDir,
                const UnzipFlags& flags) {
  tLastMessage.clear();
  tCollected.clear();
  tEntryMessages = 0;
  tPasswordRefused = false;
  try {
    std::array<const char*, iz::kNameListSize> include{}, exclude{};

    iz::UnzipOptions options;
    options.ExtractOnlyNewer = flags.ExtractOnlyNewer;
    options.SpaceToUnderscore = flags.SpaceToUnderScore;
    options.PromptToOverwrite = flags.PromptOverwrite;
    options.fQuiet = flags.MessageLevel;
    options.ncflag = flags.WriteToStdOut;
    options.ntflag = flags.TestZip;
    options.nvflag = flags.ExtractList;
    options.nfflag = flags.ExtractNewer;
    options.nzflag = flags.DisplayComment;
    options.ndflag = flags.HonorDirectories;
    options.noflag = flags.OverWriteFiles;
    options.naflag = flags.ConvertCRtoCRLF;
    options.nZIflag = flags.Verbose;
    options.C_flag = flags.CaseSensitive;
    options.fPrivilege = flags.Privilege;
    const std::string zipName = toAnsi(zipFileName);
    const std::string dir = toAnsi(extractDir);
    options.lpszZipFN = zipName.c_str();
    options.lpszExtractDir = dir.c_str();

    iz::UnzipUserFunctions functions;
    functions.print = UnzipPrint;
    functions.sound = nullptr;
    functions.replace = UnzipReplace;
    functions.password = UnzipPassword;
    functions.sendApplicationMessage = EntryMessage;
    functions.serviceApplication = Service;

    iz::UnzipVersion version;
    version.structlen = sizeof(iz::UnzipVersion);
    fillBlank(version.betalevel, sizeof version.betalevel);
    fillBlank(version.date, sizeof version.date);
    fillBlank(version.zlibver, sizeof version.zlibver);
    iz::library().UzpVersion2(version);

    return iz::library().Wiz_SingleEntryUnzip(0, include.data(), 0, exclude.data(), options,
                                               functions);
  } catch (const AutomationError& e) {
    throw AutomationError(e.number(), "CodeModule::VBUnzip", e.description());
  }
}

}  // namespace bq::archive
