#include "client/qt/program_scheme.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
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

void ProgramSchemeHandler::requestStarted(QWebEngineUrlRequestJob* job) {
  const QString path = job->requestUrl().path();
  const QFileInfo info(path);
  if (!info.isFile()) {
    job->fail(QWebEngineUrlRequestJob::UrlNotFound);
    return;
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
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
  // The whole file is read now: a page file rewritten for the next visit
  // must not change under a load in progress.
  auto* body = new QBuffer(job);
  body->setData(file.readAll());
  body->open(QIODevice::ReadOnly);
  job->reply(type, body);
}

}  // namespace bq::client
