#include "webcom/frm_ftp.h"

#include <cstdint>
#include <span>

#include "platform/ui/qt_backend.h"
#include "platform/ui/ui.h"
#include "webcom/end_picture.h"
#include "webcom/ftp_transfer.h"
#include "webcom/session.h"

namespace bq {

FrmFTP& FrmFTP::ThisThread() {
  thread_local FrmFTP form;
  return form;
}

void FrmFTP::Unload() {
  loaded_ = false;
  // When the control's own notification unloads the form, the control is
  // destroyed inside its handler; it is made to survive that.
  inet_.reset();
}

ftp::InternetTransfer& FrmFTP::Inet() {
  if (!loaded_) Load();
  if (!inet_) {
    inet_ = std::make_unique<ftp::InternetTransfer>();
    inet_->StateChanged = [this](int16_t state) { InetStateChanged(state); };
  }
  return *inet_;
}

void FrmFTP::InetStateChanged(int16_t state) {
  TransferFlags& flags = ThisThreadTransferFlags();
  if (state == ftp::icResponseCompleted) {
    flags.TransferDone = true;
    if (flags.UnloadAfterTransfer) Unload();
  } else if (state == ftp::icError) {
    flags.TransferFailed = true;
  }
}

void FrmFTP::ShowModal() {
  Load();
  const std::span<const uint8_t> picture = EndOfTestPicture();
  ui::PictureWindow window;
  window.title = kCaption;
  window.picture.assign(picture.begin(), picture.end());
  window.onDoubleClick = [this](ui::WindowControl& display) {
    // Unloading the form ends the modal display; the browser that hosts the
    // calling page is among the processes ended, as it was meant to be.
    display.close();
    Unload();
    EndProcessesByName("IEXPLORE.EXE");
  };
  // The page's browser has no window of ours to lend: without a back end set
  // for this thread, the window comes up on the display through Qt.
  ui::runModalOnDisplay(window);
  // However the window was closed, the form is no longer loaded.
  Unload();
}

}  // namespace bq
