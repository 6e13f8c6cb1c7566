// The common-dialog object: the members of the original platform's common
// dialog control that the library's callers hand in (file title, filter,
// flags, file name, cancel error, the save and open dialogs).
//
// CommonDialog is the interface the library calls by member; FileDialog is
// the standard object, which shows its dialogs through this thread's user
// interface back end (platform/ui/ui.h: console, recorder or Qt).
//
// Thread safety: an object is used on one thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bq::ui {

// The error a cancelled dialog raises when CancelError is set (cdlCancel),
// with the description "Cancel was selected.".
inline constexpr int32_t kCancelSelected = 32755;

// Flags (cdlOFN*) a back end honours; others are kept and have no effect.
inline constexpr int32_t cdlOFNOverwritePrompt = 0x2;
inline constexpr int32_t cdlOFNNoChangeDir = 0x8;
inline constexpr int32_t cdlOFNPathMustExist = 0x800;
inline constexpr int32_t cdlOFNFileMustExist = 0x1000;

class CommonDialog {
 public:
  virtual ~CommonDialog() = default;

  virtual std::string DialogTitle() const = 0;
  virtual void DialogTitle(const std::string& value) = 0;
  virtual std::string Filter() const = 0;
  virtual void Filter(const std::string& value) = 0;
  virtual int32_t Flags() const = 0;
  virtual void Flags(int32_t value) = 0;
  virtual std::string FileName() const = 0;
  virtual void FileName(const std::string& value) = 0;
  virtual bool CancelError() const = 0;
  virtual void CancelError(bool value) = 0;

  // Show the save / open dialog and wait for it. A confirmed choice sets
  // FileName to the chosen file's full name. A cancelled dialog leaves
  // FileName as it was and, when CancelError is set, throws
  // AutomationError kCancelSelected.
  virtual void ShowSave() = 0;
  virtual void ShowOpen() = 0;
};

// The standard common dialog. After a confirmed choice the process's current
// folder becomes the chosen file's folder, as the platform's dialog did,
// unless Flags holds cdlOFNNoChangeDir. A back end that cannot show the
// dialog throws its own error (for example AutomationError 429 on the Qt
// back end without a display).
class FileDialog : public CommonDialog {
 public:
  std::string DialogTitle() const override { return title_; }
  void DialogTitle(const std::string& value) override { title_ = value; }
  std::string Filter() const override { return filter_; }
  void Filter(const std::string& value) override { filter_ = value; }
  int32_t Flags() const override { return flags_; }
  void Flags(int32_t value) override { flags_ = value; }
  std::string FileName() const override { return fileName_; }
  void FileName(const std::string& value) override { fileName_ = value; }
  bool CancelError() const override { return cancelError_; }
  void CancelError(bool value) override { cancelError_ = value; }

  void ShowSave() override { show(true); }
  void ShowOpen() override { show(false); }

 private:
  void show(bool save);

  std::string title_;
  std::string filter_;
  int32_t flags_ = 0;
  std::string fileName_;
  bool cancelError_ = false;
};

// One file type of a dialog filter: "Text files|*.txt;*.text|All|*.*" gives
// {"Text files", {"*.txt", "*.text"}} and {"All", {"*.*"}}. A description
// without its pattern part gets "*".
struct FilterItem {
  std::string description;
  std::vector<std::string> patterns;
};
std::vector<FilterItem> parseFilter(const std::string& filter);

}  // namespace bq::ui
