// The progress display of backup and restore, drawn into a caller's picture
// control (platform/ui/progress_canvas.h).
//
// Thread safety: draws on the canvas of the calling thread.
#pragma once

#include "platform/ui/progress_canvas.h"

namespace bq::dbmaint {

// What the caller handed in as a picture control: nullptr when the argument
// held something else.
using PictureArg = ui::ProgressCanvas*;

// The canvas behind `picture`; throws AutomationError 424 "Object required"
// for an argument that is no picture control.
ui::ProgressCanvas& pictureOf(PictureArg picture);

// Sets the control's Visible property; throws as pictureOf.
void setVisible(PictureArg picture, bool visible);

// The percentage that ShowProgress shows for `fraction`: the integer part of
// fraction x 100 + 0.5, in single precision as the display computed it.
int progressPercent(float fraction);

// Draws "已进行 N%, 请稍侯 ...." in navy, centred on white, and the done part
// of the width (fraction, 0 to 1) as a navy bar drawn with the not-xor pen
// over it, so that the text under the bar turns white; then refreshes the
// control. Throws as pictureOf, and what the canvas throws.
void ShowProgress(PictureArg picture, float fraction);

}  // namespace bq::dbmaint
