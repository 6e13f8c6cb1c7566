// The exam client without a display: browser events replayed from a file of
// JSON lines, every effect printed as a JSON line. The same Dispatcher as in
// the window runs; only the host differs.
//
// Events (one JSON object per line; blank lines are skipped):
//   {"event":"BeforeNavigate2","url":U}
//   {"event":"NavigateComplete2","url":U,"locationName":N}
//       N defaults to the last path component of U
//   {"event":"StatusTextChange","activeValue":V}
//       V null or missing: no active element (the read fails)
//   {"event":"CommandStateChange","activeDefaultValue":V,"locationName":N}
//       V as above; N, when given, replaces the location name
//   {"event":"DownloadComplete"}
//   {"event":"Tick","timer":"TimeK"|"timeHz"|"timTimer","count":K}
//       K ticks (default 1, 0..10000000), delivered only while the timer is on
//   {"event":"Close"}
//       the window closes: page files deleted, then the program ends
//
// Effects (one JSON object per line, UTF-8, flushed at once):
//   {"effect":"write","path":P,"sha256":H}   a page file or a prepared file
//   {"effect":"delete","path":P}             a page file deleted on close
//   {"effect":"run","command":C}             ShellObject.Run (not run here)
//   {"effect":"message","text":T,"icon":I}   a message box, answered with its
//       default button at once; I is "critical", "question", "exclamation",
//       "information" or "none"
//   {"effect":"title","text":T}
//   {"effect":"timer","name":N,"on":B}       each time a timer is switched
//   {"effect":"history","entries":[...]}     the address list after an update
//   {"effect":"navigate","url":U}            the window asked the browser to go to U
//   {"effect":"quit"}                        the program ends; later events are not read
// Paths are the Windows-form paths the client used.
//
// Exit status: 0 when the events ran out or the program ended; 1 when the
// exam database cannot be opened (reported as a message effect, nothing else
// runs); 2 for an unreadable events file or a malformed event (a message on
// `err` naming the line; the effects before it stand).
#pragma once

#include <iosfwd>
#include <string>

namespace bq::client {

struct HeadlessOptions {
  std::string appFolder;   // the program folder (POSIX path); made absolute
  std::string eventsPath;  // the events file; "-" reads `in`
};

int runHeadless(const HeadlessOptions& options, std::istream& in, std::ostream& out,
                std::ostream& err);

}  // namespace bq::client
