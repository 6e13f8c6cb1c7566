// The bridge through which the pages of the exam window reach the web
// component BQCOM, as the networked examination's pages reached it in their
// browser:
//
//   var com = new ActiveXObject("BrightquillWebComm.BQCOM");
//   com.PreTest("C:\\BQTEST");
//   var client = { value: "C:\\tmpftp\\download" };
//   com.FileUpLoad(ip, port, "answer", client, "bq1", "111100");
//   // client.value is now "C:\\BqOperation"
//
// Page side. A script put into every document (every frame), before the
// page's own scripts, defines ActiveXObject. Creating an object with the
// programmatic identifier "BrightquillWebComm.BQCOM" (any case) gives an
// object whose methods are BQCOM's, found by name in any case; an unknown
// name, read or assigned, throws error 438. The object is only a handle: the
// class keeps no state, so every call runs on a fresh BQCOM. Only the
// identifier is known to pages, so the <object classid="clsid:..."> form is
// not offered.
//
// Arguments go to the component's text parameters as the dispatch layer
// converts them: a string as it is, a number as its decimal text, true and
// false as "True" and "False", undefined as "", an object (a form field, or a
// holder such as { value: "..." }) as the text of its value property; null
// fails with 13 "Type mismatch". Script has no variables by reference: a
// by-reference parameter (all six of FileDownLoad and FileUpLoad) writes the
// value the method left back into the value property of the object passed
// for it, also when the method fails; a string passed there is a copy and
// stays as it was.
//
// A failed call throws an Error whose number and description are the
// component's error as script saw it in Internet Explorer: number is the
// HRESULT as a signed 32-bit number (0x800A0000 + the run-time error number,
// so e.number & 0xFFFF is 76 for "Path not found"), description (and
// message) its text.
//
// Synchronous calls. Page script cannot wait for the host through the web
// channel, whose calls are asynchronous. Each request is made with the
// script's own prompt(), taken before any page script can replace it: a
// marker as the prompt's message and the request (JSON) as its default text,
// which the engine hands over whole (it cuts a prompt's message after 10,240
// characters). The engine holds the page's script until the host answers,
// and hands the host the calling frame's origin, which page script cannot
// forge. The host answers in ExamPage::javaScriptPrompt, on the
// user-interface thread, which owns the web component's per-thread state
// (its one transfer window and one title window): a modal window of the
// component blocks the calling script; the window's own timers go on, but
// the engine takes up no new work of its pages until the call has returned
// (a navigation asked for meanwhile goes on afterwards).
//
// Calls do not overlap. A frame that calls while another frame's call runs
// waits until that call has returned; then its call runs. In the engine's
// default process model the frames of a window share one renderer, and the
// other frame's script does not run at all meanwhile; where frames of other
// sites have processes of their own (--site-per-process), its script runs up
// to the call, whose request the engine delivers once the running call has
// returned. A request that reaches the host while a call runs on its thread
// all the same (the host's own answer() during a call) is refused with
// 0x80010001 "Call was rejected by callee.", as a busy single-threaded
// apartment refuses it. Measured: bench/bridge_bench (docs/client.md, "Networked
// exams").
//
// The arguments of one call hold at most kMaxCallArgumentChars characters
// together (UTF-16 code units, as script counts them); past that the call
// fails with 7 "Out of memory (the arguments of M come to N characters, more
// than 16,777,216)", and the page script sends none of them.
//
// Who may call. Only pages of the program folder (the program scheme) and of
// the exam servers listed in BqServers.txt beside BqTest.MDB
// (client/core/exam_servers.h). A frame counts by its own origin, whatever
// page holds it (the engine lets frames of other origins prompt). Any other
// page gets, when it creates the object or calls a method, what Internet
// Explorer gave a page whose security settings block an ActiveX object:
// number -2146827859 (0x800A01AD), "Automation server can't create object".
// The same error answers an unknown programmatic identifier.
//
// A request the engine does not deliver (a page being unloaded may not
// prompt) throws 0x80010001 as well.
//
// Local files: a page with the bridge reads no more of the disk than any
// other (client/qt/program_scheme.h, LocalFileGuard).
//
// Thread safety: a Qt object of the user-interface thread.
#pragma once

#include <QObject>
#include <QString>
#include <QUrl>
#include <cstdint>

#include "client/core/exam_servers.h"

namespace bq::client {

class ExamPage;

// The most characters the arguments of one call may hold together.
inline constexpr qsizetype kMaxCallArgumentChars = qsizetype{16} << 20;

// The error number script sees for the component's error `number`: run-time
// errors (1 to 65535) as 0x800A0000 + number, signed; others as they are.
int32_t scriptErrorNumber(int32_t number);

class BqcomBridge final : public QObject {
  Q_OBJECT

 public:
  // Serves `page`: puts the page script into it and answers its requests.
  // The problems of `servers` are written to standard error.
  BqcomBridge(ExamPage& page, ExamServers servers, QObject* parent = nullptr);

  // The script put into every document.
  static QString pageScript();

  // Whether pages of `origin` may create the component.
  bool allows(const QUrl& origin) const;

  // The answer to the request `request` (the JSON text after the marker)
  // from a frame of `origin`. Runs the method when it is a call.
  QString answer(const QUrl& origin, const QString& request);

 signals:
  // A method call has returned (or failed), any modal window of it closed;
  // the page's script goes on once the engine has the answer.
  void callReturned(const QString& method);

 private:
  ExamServers servers_;
};

}  // namespace bq::client
