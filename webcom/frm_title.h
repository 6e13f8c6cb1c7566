// frmTitle: the question title window, and QuestionPane, the routine behind
// BQCOM's method of that name.
//
// A small window at the top-left corner of the screen, above other windows,
// that shows the question text while the examinee works in an Office
// program. Every thread has its own form, made on first use; it is loaded
// (placed), shown modally, and unloaded when the examinee closes it. The form
// keeps, for as long as its thread lives, whether it was ever activated: only
// its first activation opens the question workbook.
//
// Units: the layout rules work in twips (1/1440 inch) as the screen reports
// them (platform/ui/ui.h ScreenMetrics); window placement takes pixels. The
// numbers are used as the original used them, twip values handed over as
// pixel counts included.
//
// The window goes through this thread's user-interface back end when one is
// set, else through Qt on the display (platform/ui/qt_backend.h).
//
// Thread safety: a form is used only on its own thread.
#pragma once

#include <string>

#include "platform/ui/ui.h"

namespace bq {

class FrmTitle {
 public:
  static constexpr const char* kCaption = "试题";
  // The workbook the first activation opens, and the window class of the
  // spreadsheet program's main window that a click brings to the front.
  static constexpr const char* kWorkbook = "c:\\tmpftp\\download\\exbq1.xls";
  static constexpr const char* kSpreadsheetWindowClass = "xlmain";

  static FrmTitle& ThisThread();

  bool IsLoaded() const { return loaded_; }
  // Form_Load: reads the screen and places the window at (0, 0), topmost,
  // screen width in twips / 35 by screen height in twips / 60 pixels (each
  // rounded half to even). Throws 429 when there is no display.
  void Load();
  void Unload() { loaded_ = false; }

  // The text of the text box txt.
  std::string txt;

  // Loads the form when needed and shows it modally; returns when it is
  // closed, and the form is then unloaded.
  void ShowModal();

  // Form_Resize: the text box from the window's outer size in twips: width -
  // 120, height - 390, at top 300, left 0; as pixels. A window smaller than
  // that gives the text box no room (size 0), never a negative size.
  static ui::PixelRect TextBoxLayout(int outerWidth, int outerHeight,
                                     const ui::ScreenMetrics& screen);

  // Form_Activate: the first activation of this form opens kWorkbook through
  // the shell (its result is not examined); later ones do nothing.
  void Activated();

  // Form_Click: finds the top-level window of the spreadsheet program's class
  // (its Linux counterpart, platform/shell/processes.h linuxWindowClass) and,
  // when there is one, places it topmost at (0, 0) with the screen's width and
  // height in twips as its size in pixels, and shows it. Without one, or
  // without an X display, nothing happens.
  void Clicked();

  const ui::PixelRect& Placement() const { return placement_; }

 private:
  FrmTitle() = default;

  bool loaded_ = false;
  bool activated_ = false;
  ui::ScreenMetrics screen_;
  ui::PixelRect placement_;
};

// Shows the question text `tg` in this thread's title window and returns when
// the window is closed. In tg, "~" stands for a line break (CR LF) and "|" for
// "\". An empty tg shows nothing and returns at once. No handler of its own:
// 429 when there is no display.
void QuestionPane(const std::string& tg);

}  // namespace bq
