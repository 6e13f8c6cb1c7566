// The exam servers whose pages may create the web component in the client's
// browser, from the settings file "BqServers.txt" beside the exam database
// "BqTest.MDB" in the program folder.
//
// Pages of the program folder may always create it. Pages of any other
// origin may when the file lists that origin. The file is UTF-8 text (a
// byte-order mark is skipped), one origin a line:
//
//   # exam servers of the networked examination
//   http://10.0.0.5
//   http://exam.example.edu:8080/
//
// An origin is "http://" or "https://", a host (a name of letters, digits,
// "-" and ".", an IPv4 address, or an IPv6 address in brackets) and
// optionally ":" and a port from 1 to 65535, optionally followed by one "/".
// Scheme and host compare without regard to case, and a port that is the
// scheme's default (80, 443) is the same as none. Leading and trailing blanks
// are ignored; empty lines and lines beginning with "#" or ";" are comments.
// A line that is no origin (a path, a user name, a query, another scheme,
// a wildcard) allows nothing and is reported with its line number; the other
// lines stand. A host name written in non-ASCII letters must be written in
// its ASCII (punycode) form.
//
// Thread safety: values; the functions are pure except readExamServers,
// which reads the file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bq::client {

inline constexpr char kExamServersFile[] = "BqServers.txt";

// Files beyond this are not read at all (nothing is allowed).
inline constexpr size_t kExamServersMaxBytes = 64 * 1024;

struct ExamServers {
  // The listed origins, normalised ("http://10.0.0.5", "https://a.b:8443").
  std::vector<std::string> origins;
  // "FILE:LINE: what is wrong" for each line that was passed over, or
  // "FILE: why it was not read".
  std::vector<std::string> problems;

  // Whether the page origin `origin` (as the browser serialises it:
  // "http://host:port") is listed.
  bool allows(std::string_view origin) const;
};

// `text` as a normalised origin: lower-case scheme and host, no default port,
// no trailing "/"; nothing when it is no origin of the form above.
std::optional<std::string> normalizeOrigin(std::string_view text);

// The origins of the file's text; `fileName` names it in the problems.
ExamServers parseExamServers(std::string_view text, std::string_view fileName);

// The settings file of the program folder `appFolder` (AppFolder + "\" +
// kExamServersFile, mapped as every path is). A missing file lists no server
// and is no problem; an unreadable or too large one lists none and says so.
ExamServers readExamServers(const std::string& appFolder);

}  // namespace bq::client
