// The exam's own LibreOffice profile: the settings the examinee's LibreOffice
// runs with when the open button starts it for a question document.
//
// On the user's own profile a first start greets the examinee with the tip of
// the day and a "what's new" bar over the question, and the first Save of a
// document in another program's format asks "Use Word 2007-365 Format!" or
// "Use ODF Format!"; the second opens Save As in the home folder under a new
// name, so the file that is handed in stays the untouched question document.
// The exam's profile keeps the answer where it is handed in:
//
//   setting (registrymodifications.xcu)             value
//   Office.Common/Save/Document WarnAlienFormat     false: Save keeps the
//                                                   document's format and name
//   Office.Common/Misc ShowTipOfTheDay, FirstRun    false: no tip, no first start
//   Setup/Product ooSetupLastVersion                the installed version: no
//                                                   "what's new" bar
//   Setup/Product LastTimeGetInvolvedShown,         now: no "get involved" or
//                 LastTimeDonateShown               donation bar
//   Office.Recovery/RecoveryInfo Enabled,           true: AutoRecovery keeps a
//                  AutoSave Enabled                 copy to offer after a crash
//   Office.Recovery/AutoSave UserAutoSaveEnabled,   with $BQ_OFFICE_AUTOSAVE_MINUTES
//                           TimeIntervall           = N (1..120): the document
//                                                   itself is saved every N
//                                                   minutes; unset or 0: off
//
// The interface language is LibreOffice's default: the locale's.
//
// The profile is a folder per user: $BQ_OFFICE_PROFILE when set, else
// $XDG_STATE_HOME/brightquill/libreoffice, else
// ~/.local/state/brightquill/libreoffice (beside the client's other state).
// Each preparation writes the settings above into its
// user/registrymodifications.xcu, made anew when missing and otherwise merged:
// every other item (what LibreOffice or the user set) stays, ours take our
// values, so a changed setting of a later version reaches an old profile. The
// file is replaced whole (written beside, renamed). A LibreOffice the user
// runs on their own profile is a separate program and is not touched.
//
// Thread safety: functions without shared state; two processes preparing the
// same profile at once both write a whole file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace bq::shell {

// The folder of the exam's profile (see above).
std::filesystem::path examOfficeProfile();

// The settings file's text for the profile: `existing` (the current
// registrymodifications.xcu, "" for none) with the exam's items set. `version`
// is LibreOffice's "7.4" ("" leaves the last version alone), `now` the seconds
// since 1970 and `autosaveMinutes` 0 for off.
std::string examProfileSettings(std::string_view existing, std::string_view version, int64_t now,
                                int autosaveMinutes);

// Makes the profile folder ready for `soffice` (LibreOffice's program, whose
// version is read from its installation) and returns the folder. Throws
// AutomationError (70, 75) when it cannot be written.
std::filesystem::path prepareExamOfficeProfile(const std::filesystem::path& soffice);

// LibreOffice's version ("7.4") as the installation of `soffice` names it, or
// "" when it cannot be read.
std::string libreOfficeVersion(const std::filesystem::path& soffice);

// `folder` as a file URL for -env:UserInstallation= (every byte but letters,
// digits, "/", "-", ".", "_" and "~" percent-encoded).
std::string fileUrl(const std::filesystem::path& folder);

}  // namespace bq::shell
