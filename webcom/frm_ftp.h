// frmFTP: the web component's end-of-test window, which also hosts its file
// transfers.
//
// Every thread has its own form, made on first use. The form is loaded or
// not; loading it again while it is loaded does nothing, and unloading it
// lets the next use load it afresh. Shown, it is a window of the thread's
// user-interface back end (platform/ui/ui.h), or, where the thread has none
// set, a Qt window on the display (platform/ui/qt_backend.h). Its whole
// content is the end-of-test picture (webcom/end_picture.h); its caption is
// "考试结束". A double-click anywhere on it unloads it, which ends its modal
// display, and then ends every browser process (EndProcessesByName
// "IEXPLORE.EXE"). Closing it by other means (the window's close button,
// where the back end offers one) ends no process.
//
// Thread safety: a form is used only on its own thread.
#pragma once

namespace bq {

class FrmFTP {
 public:
  static constexpr const char* kCaption = "考试结束";

  // This thread's form.
  static FrmFTP& ThisThread();

  bool IsLoaded() const { return loaded_; }
  void Load() { loaded_ = true; }
  void Unload() { loaded_ = false; }

  // Loads the form when it is not loaded and shows it modally; returns when
  // the window is closed, by whatever means, and the form is then unloaded.
  // Throws what the back end's runModal throws (429 without a display, 481
  // for a picture it cannot show) and what the double-click's process walk
  // throws.
  void ShowModal();

 private:
  FrmFTP() = default;

  bool loaded_ = false;
};

}  // namespace bq
