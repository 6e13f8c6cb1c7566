#include "webcom/frm_title.h"

#include <algorithm>
#include <cmath>

#include "common/automation_error.h"
#include "common/text.h"
#include "platform/shell/processes.h"
#include "platform/shell/shell.h"
#include "platform/ui/qt_backend.h"
#include "platform/ui/x11_windows.h"

namespace bq {
namespace {

// A twips value as whole pixels.
int ToPixels(double twips, int twipsPerPixel) {
  return static_cast<int>(std::lround(twips / std::max(1, twipsPerPixel)));
}

}  // namespace

FrmTitle& FrmTitle::ThisThread() {
  thread_local FrmTitle form;
  return form;
}

void FrmTitle::Load() {
  screen_ = ui::screenMetricsOnDisplay();
  // The quotients go to the placement call as its pixel arguments, rounded
  // as a Double becomes a Long: half to even.
  placement_ = {0, 0, static_cast<int>(std::nearbyint(screen_.widthTwips() / 35.0)),
                static_cast<int>(std::nearbyint(screen_.heightTwips() / 60.0))};
  loaded_ = true;
}

ui::PixelRect FrmTitle::TextBoxLayout(int outerWidth, int outerHeight,
                                      const ui::ScreenMetrics& screen) {
  const int widthTwips = outerWidth * screen.twipsPerPixelX - 120;
  const int heightTwips = outerHeight * screen.twipsPerPixelY - 390;
  return {0, ToPixels(300, screen.twipsPerPixelY),
          std::max(0, ToPixels(widthTwips, screen.twipsPerPixelX)),
          std::max(0, ToPixels(heightTwips, screen.twipsPerPixelY))};
}

void FrmTitle::Activated() {
  if (activated_) return;
  activated_ = true;
  try {
    shell::open(kWorkbook);
  } catch (const AutomationError&) {
    // The shell's answer is not examined: a missing workbook shows nothing.
  }
}

void FrmTitle::Clicked() {
  ui::x11::placeTopLevelWindow(shell::linuxWindowClass(kSpreadsheetWindowClass),
                               {0, 0, screen_.widthTwips(), screen_.heightTwips()});
}

void FrmTitle::ShowModal() {
  if (!loaded_) Load();
  ui::TextWindow window;
  window.title = kCaption;
  window.text = txt;
  window.placement = placement_;
  window.alwaysOnTop = true;
  const ui::ScreenMetrics screen = screen_;
  window.layoutText = [screen](int w, int h) { return TextBoxLayout(w, h, screen); };
  window.onActivate = [this](ui::WindowControl&) { Activated(); };
  window.onClick = [this](ui::WindowControl&) { Clicked(); };
  try {
    ui::runModalOnDisplay(window);
  } catch (...) {
    Unload();
    throw;
  }
  Unload();
}

void QuestionPane(const std::string& tg) {
  if (tg.empty()) return;
  const std::string text = replaceAll(replaceAll(tg, "~", "\r\n"), "|", "\\");
  FrmTitle& form = FrmTitle::ThisThread();
  if (!form.IsLoaded()) form.Load();
  form.txt = text;
  form.ShowModal();
}

}  // namespace bq
