// The scoring class's archive and dialog methods: Zip and Unzip over the two
// archive classes, GetSaveFile and GetOpenFile over a caller's common-dialog
// object. BrightquillClient calls these.
//
// Thread safety: each call is self-contained; message boxes and dialogs use
// the calling thread's user-interface back end.
#pragma once

#include <string>

#include "common/variant.h"
#include "platform/ui/common_dialog.h"

namespace bq::archive {

// Packs the one file cScrFile into the archive cZipPath (added to, or
// replacing its entry in, an existing archive). False with the message box
// "压缩不成功，请检查！" when the library reports a failure; false without a
// message when a call fails.
bool Zip(const std::string& cZipPath, const std::string& cScrFile);

// Extracts every entry of cZipFile directly into cUnzipPath (the archive's
// folders are not made), replacing files of the same names. False with the
// message box "解压缩不成功，请检查！" when the library reports a failure; false
// without a message when a call fails.
bool Unzip(const std::string& cZipFile, const std::string& cUnzipPath);

// Runs ComDlg's save (open) dialog with the title cTitle, the filter cFilter
// and the initial file name cFile. Cancelled: cFile and the result are empty.
// Confirmed: cFile is the dialog's FileName and the result the process's
// current folder. Throws AutomationError when ComDlg is no dialog object
// (null: 424 "Object required"), when cTitle is Null (94), or when setting
// the dialog's properties fails; failures of the dialog itself are ignored.
std::string GetSaveFile(ui::CommonDialog* ComDlg, std::string& cFile, const Variant& cTitle,
                        const std::string& cFilter);
std::string GetOpenFile(ui::CommonDialog* ComDlg, std::string& cFile, const Variant& cTitle,
                        const std::string& cFilter);

}  // namespace bq::archive
