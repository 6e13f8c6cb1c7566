// The Chinese typing page "typewrite.asp" (topic "04").
//
// The page shows the paper's typing text in a read-only box and below it the
// entry box holding the answer stored in the paper, between the exam clock's
// frame and footer. Its script counts down two clocks once a second: the exam
// time (display `tt`, value `sysj`) and the typing time (display `hz`, value
// `hzsj`). When the typing time is up the entry area is hidden and the typing
// display reads "汉字录入时间已到!"; the exam time goes on counting.
//
// Failures: anything that goes wrong while the page text is built (a failed
// query, a Null column, a topic_table that is not a plain identifier) throws
// AutomationError and writes no file. Failures of the writing itself are
// ignored (WritePageFile).
//
// Thread safety: none; the client's one thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "client/core/app_values.h"

namespace bq::client {

// The page text for the paper of app.CardNumber, or nothing when the paper
// has no typing question (the frame's section-bar query has run all the same).
// The first typing question is shown; its text and the stored answer are
// trimmed of blanks at both ends, and the answer stands between one blank on
// each side in the entry box.
std::optional<std::string> TypingPageText(const AppValues& app);

// Builds the page and writes it to app.AppFolder + "\typewrite.asp". Without
// a typing question no file is written and an existing page file stays as it
// is. Returns whether the file was written; throws AutomationError when the
// text cannot be built or the file cannot be written (the old page stays).
bool BuildTypingPage(const AppValues& app);

}  // namespace bq::client
