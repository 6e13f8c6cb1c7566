// The system's ANSI code page: how text files for the browser, Office and the
// question viewer are written and how text files are read.
//
// The code page is GBK (Windows code page 936) unless the environment
// variable BQ_ANSI_CODEPAGE names another: a Windows code page number ("1252",
// "65001" for UTF-8) or an iconv encoding name ("CP1252", "UTF-8"). It is read
// once per thread, when the thread first converts.
//
// Encoding never fails: a character the code page cannot hold becomes "?".
// Decoding never fails either: a byte sequence that is not valid in the code
// page becomes "?" (one per undecodable byte), as the original's conversion did.
//
// Thread safety: every thread keeps its own converters.
#pragma once

#include <string>
#include <string_view>

namespace bq {

// UTF-8 text to bytes in the ANSI code page.
std::string toAnsi(std::string_view utf8);

// Bytes in the ANSI code page to UTF-8 text.
std::string fromAnsi(std::string_view bytes);

// The iconv name of the code page in force on this thread ("CP936" by default).
std::string ansiCodePageName();

}  // namespace bq
