// The address scheme under which the window's engine reads the program
// folder's files.
//
// The exam pages are files named *.asp, which the engine would take for
// downloads by their extension (the system's type database calls them
// application/x-asp). Internet Explorer looked at the content instead. So the
// window shows local files through a scheme of its own: "bqfile:/path" serves
// the file /path, HTML for *.asp, *.htm and *.html (with no character set, so
// the page's own declaration or the default GBK applies), other types by
// their name. A missing file fails as "not found" and the engine shows its
// error page.
//
// Only the program folder is served: its pages, and the style sheets,
// pictures and the like they reference, all of which lie in it. A path
// outside it (also through "..", or a symbolic link inside it that leads
// out) fails as "denied", so a page, networked or not, can never read the
// examinee's other files through the scheme. The file is opened when the
// request starts and handed to the engine, which reads it on its own
// thread: a large file never stalls the window, and a page file rewritten
// meanwhile (written beside and renamed) is read as it was when opened.
//
// Pages of a local scheme may also ask for "file:" addresses (requests of
// script, pictures, frames), which the engine would read from anywhere on the
// disk. LocalFileGuard, the profile's request interceptor, lets through only
// those that name a file of the same folder, by the same rule as the scheme
// (programFile: links that lead out count as outside); every other "file:"
// request, of any frame or kind, is blocked before the engine reads it.
//
// Outside the engine nothing changes: the window turns file addresses into
// this scheme before loading them, and the engine's addresses back into file
// addresses before anybody sees them, so the exam logic sees the
// "file:///..." addresses a browser on local files reports.
//
// Thread safety: registerProgramScheme before the Qt application exists; the
// handler and the guard on the user-interface thread.
#pragma once

#include <QString>
#include <QUrl>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlSchemeHandler>
#include <optional>

namespace bq::client {

inline constexpr char kProgramScheme[] = "bqfile";

// Registers the scheme with the engine.
// REQUIRES: called once, before the QApplication is created.
void registerProgramScheme();

// A local file address in the program scheme; other addresses unchanged.
QUrl toEngineUrl(const QUrl& url);
// An address of the program scheme as the file address; others unchanged.
QUrl toFileUrl(const QUrl& url);

// The file of the program folder `programFolder` (a native path) that the
// program-scheme path `path` names, made canonical; nothing when it lies
// outside the folder or does not exist.
std::optional<QString> programFile(const QString& programFolder, const QString& path);

// Whether the "file:" address `url` names a file of `folder` (a native path;
// empty: no folder, nothing is): a local path, no host (or "localhost"), the
// file there and inside the folder once links are resolved.
bool localFileAllowed(const QString& folder, const QUrl& url);

// Blocks every "file:" request that localFileAllowed refuses for its folder,
// and every one a page of another scheme than the program scheme and "file:"
// asks for; requests of other schemes pass untouched.
class LocalFileGuard final : public QWebEngineUrlRequestInterceptor {
  Q_OBJECT

 public:
  // Allows the files of `folder` (a native path; empty allows none).
  LocalFileGuard(QString folder, QObject* parent)
      : QWebEngineUrlRequestInterceptor(parent), folder_(std::move(folder)) {}
  void interceptRequest(QWebEngineUrlRequestInfo& info) override;

 private:
  QString folder_;
};

class ProgramSchemeHandler final : public QWebEngineUrlSchemeHandler {
  Q_OBJECT

 public:
  // Serves the files of `programFolder` (a native path).
  ProgramSchemeHandler(QString programFolder, QObject* parent)
      : QWebEngineUrlSchemeHandler(parent), programFolder_(std::move(programFolder)) {}
  void requestStarted(QWebEngineUrlRequestJob* job) override;

 private:
  QString programFolder_;
};

}  // namespace bq::client
