#include "client/qt/browse_window.h"

#include <QDir>
#include <QFileInfo>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "client/qt/exam_page.h"
#include "client/qt/program_scheme.h"

namespace bq::client {

BrowseWindow::BrowseWindow(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("frmBrowse"));
  resize(900, 700);
  // Off the record, as the exam window: nothing is kept on disk.
  profile_ = new QWebEngineProfile(this);
  // No "file:" request is read until a local target names its folder.
  guard_ = new LocalFileGuard(QString(), profile_);
  profile_->setUrlRequestInterceptor(guard_);
  page_ = new ExamPage(profile_, this);
  view_ = new QWebEngineView(this);
  view_->setPage(page_);
  setCentralWidget(view_);
  connect(page_, &QWebEnginePage::titleChanged, this, [this](const QString& title) {
    setWindowTitle(title.isEmpty() ? toFileUrl(page_->url()).toDisplayString() : title);
  });
}

BrowseWindow::~BrowseWindow() {
  // The page goes before its profile, as the engine requires.
  view_->setPage(nullptr);
  delete page_;
  delete profile_;
}

QUrl BrowseWindow::addressOf(const std::string& target) {
  if (target.empty()) return QUrl(QStringLiteral("about:blank"));
  return toEngineUrl(QUrl::fromUserInput(QString::fromStdString(target), QDir::currentPath(),
                                         QUrl::AssumeLocalFile));
}

void BrowseWindow::open(const std::string& target) {
  const QUrl address = addressOf(target);
  // A local file is served with the files of its own folder and below (its
  // pictures, frames and style sheets), and nothing else of the disk.
  // Its "file:" requests likewise; any other target's reach none.
  if (scheme_ != nullptr) profile_->removeUrlSchemeHandler(scheme_);
  scheme_ = nullptr;
  QString folder;
  if (address.scheme() == QLatin1StringView(kProgramScheme)) {
    folder = QFileInfo(address.path()).absolutePath();
    scheme_ = new ProgramSchemeHandler(folder, profile_);
    profile_->installUrlSchemeHandler(kProgramScheme, scheme_);
  }
  auto* guard = new LocalFileGuard(folder, profile_);
  profile_->setUrlRequestInterceptor(guard);
  delete guard_;
  guard_ = guard;
  setWindowTitle(toFileUrl(address).toDisplayString());
  page_->setUrl(address);
}

}  // namespace bq::client
