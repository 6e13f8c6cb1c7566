#include "webcom/frm_ftp.h"

#include <cstdint>
#include <span>

#include "platform/ui/qt_backend.h"
#include "platform/ui/ui.h"
#include "webcom/end_picture.h"
#include "webcom/session.h"

namespace bq {

FrmFTP& FrmFTP::ThisThread() {
  thread_local FrmFTP form;
  return form;
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
