#include "client/qt/program_scheme.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>

namespace bq::client {

void registerProgramScheme() {
  QWebEngineUrlScheme scheme(kProgramScheme);
  scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
  scheme.setFlags(QWebEngineUrlScheme::LocalScheme | QWebEngineUrlScheme::LocalAccessAllowed |
                  QWebEngineUrlScheme::SecureScheme);
  QWebEngineUrlScheme::registerScheme(scheme);
}

QUrl toEngineUrl(const QUrl& url) {
  if (!url.isLocalFile()) return url;
  QUrl engine;
  engine.setScheme(QString::fromLatin1(kProgramScheme));
  engine.setPath(url.toLocalFile());
  engine.setQuery(url.query());
  engine.setFragment(url.fragment());
  return engine;
}

QUrl toFileUrl(const QUrl& url) {
  if (url.scheme() != QLatin1StringView(kProgramScheme)) return url;
  QUrl file = QUrl::fromLocalFile(url.path());
  file.setQuery(url.query());
  file.setFragment(url.fragment());
  return file;
}

std::optional<QString> programFile(const QString& programFolder, const QString& path) {
  const QString folder = QFileInfo(programFolder).canonicalFilePath();
  const QString file = QFileInfo(path).canonicalFilePath();  // empty when missing
  if (folder.isEmpty() || file.isEmpty()) return std::nullopt;
  const QString prefix = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
  if (!file.startsWith(prefix)) return std::nullopt;
  return file;
}

bool localFileAllowed(const QString& folder, const QUrl& url) {
  if (folder.isEmpty() || !url.isLocalFile()) return false;
  // A host names another machine's share, never a file of the folder.
  if (!url.host().isEmpty() &&
      url.host().compare(QLatin1StringView("localhost"), Qt::CaseInsensitive) != 0)
    return false;
  return programFile(folder, url.toLocalFile()).has_value();
}

void LocalFileGuard::interceptRequest(QWebEngineUrlRequestInfo& info) {
  const QUrl url = info.requestUrl();
  if (url.scheme().compare(QLatin1StringView("file"), Qt::CaseInsensitive) != 0) return;
  // Asked for by the window itself (no initiator) or by a local page; a
  // server's page has no business with local files, whichever they are.
  const QString initiator = info.initiator().scheme();
  const bool local = initiator.isEmpty() || initiator == QLatin1StringView(kProgramScheme) ||
                     initiator == QLatin1StringView("file");
  if (!local || !localFileAllowed(folder_, url)) info.block(true);
}

void ProgramSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
  const QString path = job->requestUrl().path();
  const QFileInfo info(path);
  if (!info.exists()) {
    job->fail(QWebEngineUrlRequestJob::UrlNotFound);
    return;
  }
  const std::optional<QString> served = programFile(programFolder_, path);
  if (!served) {
    job->fail(QWebEngineUrlRequestJob::RequestDenied);
    return;
  }
  if (!QFileInfo(*served).isFile()) {
    job->fail(QWebEngineUrlRequestJob::UrlNotFound);
    return;
  }
  auto* file = new QFile(*served, job);
  if (!file->open(QIODevice::ReadOnly)) {
    delete file;
    job->fail(QWebEngineUrlRequestJob::RequestDenied);
    return;
  }
  const QString suffix = info.suffix().toLower();
  QByteArray type;
  if (suffix == QLatin1StringView("asp") || suffix == QLatin1StringView("htm") ||
      suffix == QLatin1StringView("html")) {
    type = "text/html";
  } else {
    type = QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension).name().toLatin1();
  }
  job->reply(type, file);
}

}  // namespace bq::client
