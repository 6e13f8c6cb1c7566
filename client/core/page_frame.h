// The frame that every generated exam page shares, and the writing of page files.
//
// A page is one string built by appending fragments with no line breaks
// between them. The frame puts, in page order: the head and body tag, the
// examinee bar with the clock display and the hand-in button, the remaining
// time(s) in a script, the section bar (one button per topic of the paper),
// then the page's own body, then the footer, the countdown script, the
// section-switch script and the closing tags.
//
// Thread safety: none needed; functions touch only their arguments.
#pragma once

#include <string>
#include <string_view>

#include "client/core/app_values.h"

namespace bq::client {

enum class PageKind { kChoice, kTrueFalse, kTyping, kOperation };

// The vendor notice shown in the footer.
inline constexpr std::string_view kVendorNotice = "岚屿克在线考试模拟系统";

// The time-up part of the countdown script. On the choice and true/false
// pages the test has an empty body and the count goes on below zero; on the
// operation pages the time-up page opens in the same window. (The typing page
// brings its own.)
inline constexpr std::string_view kObjectiveTimeUp =
    "if(tt.value==\"剩余时间：00分00秒\"){}sysj.value=sysj.value-1;tt.value=timeValue;";
inline constexpr std::string_view kOperationTimeUp =
    "if(tt.value==\"剩余时间：00分00秒\"){window.open(\"UpdateSQL.asp\",\"_self\")}"
    "sysj.value=sysj.value-1;tt.value=timeValue;";

// Appends the frame up to the page's own body: head, body tag of `kind`,
// examinee bar, time values (app.ExamSecondsLeft; on the typing page also
// app.TypingSecondsLeft), and the section bar of the paper of app.CardNumber,
// read from app.ExamConnection. A topic_table that is not a plain identifier
// throws kInvalidCall (it names the page's load function); a failed query
// throws the provider's error. `page` may then hold a part of the frame.
void appendFrameTop(std::string& page, PageKind kind, const AppValues& app);

// Appends the section bar alone (part of appendFrameTop), with the query of `kind`.
void appendSectionBar(std::string& page, PageKind kind, const AppValues& app);

// Appends the frame after the page's own body: footer, countdown script with
// `timeUpPart`, SectionSwitchScript(), "</SCRIPT>" and the closing tags.
void appendFrameBottom(std::string& page, PageKind kind, std::string_view timeUpPart);

// Appends the countdown script (from its "<SCRIPT language=JavaScript>" up to
// the hand-in function; the closing "</SCRIPT>" comes after the section-switch
// script) with `timeUpPart`. Only the startclock head depends on `kind`.
void appendCountdownScript(std::string& page, PageKind kind, std::string_view timeUpPart);

// The nine section load functions, back to back.
std::string SectionSwitchScript();

// Writes `text` into the page file `path` (a Windows or POSIX path) in the
// system's ANSI code page, without a byte-order mark. The new file is written
// beside and renamed over an existing one, so the old page stays whole until
// the new one is in place. Throws AutomationError (the file error: 76 for a
// missing folder, 75 for a folder in the page's place, ...) when it cannot be
// written; the old page is then left as it was.
void writePage(std::string_view path, std::string_view text);

// writePage that ignores its failure; returns whether the file was written.
bool WritePageFile(std::string_view path, std::string_view text);

}  // namespace bq::client
