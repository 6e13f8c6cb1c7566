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
// The form also hosts the thread's transfer control (Inet), made when a
// transfer first asks for it on a loaded form and destroyed when the form is
// unloaded, so that every load starts with a fresh control. Its state-change
// notification is InetStateChanged.
//
// Thread safety: a form is used only on its own thread.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/ftp/inet.h"

namespace bq {

class FrmFTP {
 public:
  static constexpr const char* kCaption = "考试结束";

  // This thread's form.
  static FrmFTP& ThisThread();

  bool IsLoaded() const { return loaded_; }
  void Load() { loaded_ = true; }
  // Unloads the form; its transfer control goes with it (a transfer still
  // running is cancelled).
  void Unload();

  // The transfer control, loading the form (hidden) when it is not loaded.
  ftp::InternetTransfer& Inet();
  // The control of the loaded form; nullptr when the form is not loaded or
  // has made none.
  ftp::InternetTransfer* LoadedInet() { return loaded_ ? inet_.get() : nullptr; }

  // The control's state-change notification: state 12 (completed) sets the
  // thread's TransferDone and, while UnloadAfterTransfer is set, unloads the
  // form; state 11 (error) sets TransferFailed (webcom/ftp_transfer.h).
  // Every other state is ignored.
  void InetStateChanged(int16_t state);

  // Loads the form when it is not loaded and shows it modally; returns when
  // the window is closed, by whatever means, and the form is then unloaded.
  // Throws what the back end's runModal throws (429 without a display, 481
  // for a picture it cannot show) and what the double-click's process walk
  // throws.
  void ShowModal();

 private:
  FrmFTP() = default;

  bool loaded_ = false;
  std::unique_ptr<ftp::InternetTransfer> inet_;
};

}  // namespace bq
