#include "archive/archive_methods.h"

#include <filesystem>

#include "archive/cg_unzip_files.h"
#include "archive/cg_zip_files.h"
#include "common/automation_error.h"
#include "platform/db/value.h"
#include "platform/ui/ui.h"

namespace bq::archive {
namespace {

// The text a Variant title gives a text property (CStr; Null cannot).
std::string titleText(const Variant& v) {
  if (v.isNull()) raiseError(94);
  return db::variantText(v);
}

std::string showDialog(ui::CommonDialog* ComDlg, std::string& cFile, const Variant& cTitle,
                       const std::string& cFilter, bool save) {
  if (!ComDlg) raiseError(err::kObjectRequired);
  ComDlg->DialogTitle(titleText(cTitle));
  ComDlg->Filter(cFilter);
  ComDlg->Flags(0);
  ComDlg->FileName(cFile);
  ComDlg->CancelError(true);

  // From here on failures are ignored; only the cancel error counts.
  int32_t number = 0;
  try {
    if (save) {
      ComDlg->ShowSave();
    } else {
      ComDlg->ShowOpen();
    }
  } catch (const AutomationError& e) {
    number = e.number();
  }
  if (number == ui::kCancelSelected) {
    cFile.clear();
    return "";
  }
  try {
    cFile = ComDlg->FileName();
  } catch (const AutomationError&) {
  }
  std::error_code ec;
  const std::filesystem::path current = std::filesystem::current_path(ec);
  return ec ? "" : current.string();
}

}  // namespace

bool Zip(const std::string& cZipPath, const std::string& cScrFile) {
  try {
    CGZipFiles zip;
    zip.ZipFileName(cZipPath);
    zip.UpdatingZip(false);
    zip.AddFile(cScrFile);
    if (zip.MakeZipFile() != 0) {
      ui::MsgBox("压缩不成功，请检查！", ui::vbOKOnly);
      return false;
    }
    return true;
  } catch (const AutomationError&) {
    return false;
  }
}

bool Unzip(const std::string& cZipFile, const std::string& cUnzipPath) {
  try {
    CGUnzipFiles unzip;
    unzip.ZipFileName(cZipFile);
    unzip.ExtractDir(cUnzipPath);
    unzip.HonorDirectories(false);
    if (unzip.Unzip(std::string(), std::string()) != 0) {
      ui::MsgBox("解压缩不成功，请检查！", ui::vbOKOnly);
      return false;
    }
    return true;
  } catch (const AutomationError&) {
    return false;
  }
}

std::string GetSaveFile(ui::CommonDialog* ComDlg, std::string& cFile, const Variant& cTitle,
                        const std::string& cFilter) {
  return showDialog(ComDlg, cFile, cTitle, cFilter, true);
}

std::string GetOpenFile(ui::CommonDialog* ComDlg, std::string& cFile, const Variant& cTitle,
                        const std::string& cFilter) {
  return showDialog(ComDlg, cFile, cTitle, cFilter, false);
}

}  // namespace bq::archive
