#include "client/qt/frm_browser.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "client/core/exam_servers.h"
#include "client/qt/bqcom_bridge.h"
#include "client/qt/program_scheme.h"
#include "common/automation_error.h"
#include "common/winpath.h"
#include "platform/shell/shell.h"

namespace bq::client {
namespace {

QString qs(const std::string& text) { return QString::fromStdString(text); }
std::string ss(const QString& text) { return text.toStdString(); }

// The toolbar's buttons: key, label, picture.
struct ToolbarButton {
  const char* key;
  const char* label;
  QStyle::StandardPixmap icon;
};
constexpr ToolbarButton kToolbarButtons[] = {
    {"Back", "返回", QStyle::SP_ArrowBack},   {"Forward", "向前", QStyle::SP_ArrowForward},
    {"Stop", "停止", QStyle::SP_BrowserStop}, {"Refresh", "刷新", QStyle::SP_BrowserReload},
    {"Home", "主页", QStyle::SP_DirHomeIcon}, {"Search", "搜索", QStyle::SP_FileDialogContentsView},
};

// The browser's search page. The exam machine has no business searching; the
// button shows an empty page, as a browser without a search provider does.
constexpr char kSearchPage[] = "about:blank";

// Layout distances, from the window's design in twips at 15 twips a pixel:
// the browser 50 from the left edge and 100 narrower than the window, the
// address box 300 narrower than the window and 15 below its label.
constexpr int kBrowserLeft = 3;
constexpr int kBrowserBottom = 7;
constexpr int kAddressRightGap = 20 - kBrowserLeft;
constexpr int kLabelGap = 1;

AutomationError noSuchProperty(const char* what) {
  return AutomationError(
      err::kNoSuchMember, "BqTestMy",
      std::string("Object doesn't support this property or method (") + what + ")");
}

}  // namespace

FrmBrowser::FrmBrowser(AppValues& app, ShellRunner shellRun, QWidget* parent)
    : QMainWindow(parent), app_(app), shellRun_(std::move(shellRun)) {
  if (!shellRun_) shellRun_ = [](const std::string& command) { shell::run(command); };
  setObjectName(QStringLiteral("frmBrowser"));
  buildControls();
  connectSignals();
}

FrmBrowser::~FrmBrowser() {
  // The page goes before its profile, as the engine requires.
  brwWebBrowser_->setPage(nullptr);
  delete page_;
  delete profile_;
}

void FrmBrowser::buildControls() {
  setWindowTitle(qs(std::string(kTitleText)));
  resize(1024, 740);

  // An off-the-record profile: nothing of the exam is kept on disk by the engine.
  profile_ = new QWebEngineProfile(this);
  const QString programFolder = QString::fromStdString(winpath::toNative(app_.AppFolder).string());
  profile_->installUrlSchemeHandler(kProgramScheme,
                                    new ProgramSchemeHandler(programFolder, profile_));
  // The pages' own "file:" requests reach no further than the scheme does.
  profile_->setUrlRequestInterceptor(new LocalFileGuard(programFolder, profile_));
  page_ = new ExamPage(profile_, this);
  bridge_ = new BqcomBridge(*page_, readExamServers(app_.AppFolder), this);

  QMenu* mnuFile = menuBar()->addMenu(QStringLiteral("文件(&F)"));
  mnuFile->setObjectName(QStringLiteral("mnuFile"));
  QAction* mnuExit = mnuFile->addAction(QStringLiteral("退出(&E)"));
  mnuExit->setObjectName(QStringLiteral("mnuExit"));
  connect(mnuExit, &QAction::triggered, this, [this] { dispatcher_.onMenuExit(); });

  tbToolBar_ = addToolBar(QStringLiteral("tbToolBar"));
  tbToolBar_->setObjectName(QStringLiteral("tbToolBar"));
  tbToolBar_->setMovable(false);
  tbToolBar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  for (const ToolbarButton& button : kToolbarButtons) {
    QAction* action =
        tbToolBar_->addAction(style()->standardIcon(button.icon), QString::fromUtf8(button.label));
    const QString key = QString::fromLatin1(button.key);
    action->setObjectName(key);
    action->setData(key);
    connect(action, &QAction::triggered, this, [this, key] { handleToolbarButton(key); });
  }

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(kBrowserLeft, 0, kBrowserLeft, kBrowserBottom);
  layout->setSpacing(kBrowserLeft);

  picAddress_ = new QWidget(central);
  picAddress_->setObjectName(QStringLiteral("picAddress"));
  auto* strip = new QVBoxLayout(picAddress_);
  strip->setContentsMargins(0, kLabelGap, kAddressRightGap, 0);
  strip->setSpacing(kLabelGap);
  lblAddress_ = new QLabel(QStringLiteral("地址(&A):"), picAddress_);
  lblAddress_->setObjectName(QStringLiteral("lblAddress"));
  cboAddress_ = new QComboBox(picAddress_);
  cboAddress_->setObjectName(QStringLiteral("cboAddress"));
  cboAddress_->setEditable(true);
  // The list is the history that the Dispatcher keeps; the box adds nothing itself.
  cboAddress_->setInsertPolicy(QComboBox::NoInsert);
  cboAddress_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  cboAddress_->setFont(QFont(QStringLiteral("Tahoma")));
  lblAddress_->setBuddy(cboAddress_);
  strip->addWidget(lblAddress_);
  strip->addWidget(cboAddress_);
  layout->addWidget(picAddress_);

  brwWebBrowser_ = new QWebEngineView(central);
  brwWebBrowser_->setObjectName(QStringLiteral("brwWebBrowser"));
  brwWebBrowser_->setPage(page_);
  layout->addWidget(brwWebBrowser_, 1);
  setCentralWidget(central);

  const std::array<Timer, 3> kinds{Timer::kBusy, Timer::kExam, Timer::kTyping};
  for (Timer kind : kinds) {
    auto* timer = new QTimer(this);
    timer->setObjectName(qs(std::string(timerName(kind))));
    timer->setInterval(timerInterval(kind));
    timers_[static_cast<size_t>(kind)] = timer;
  }
}

void FrmBrowser::connectSignals() {
  connect(timer(Timer::kBusy), &QTimer::timeout, this, [this] { dispatcher_.onBusyTick(); });
  connect(timer(Timer::kExam), &QTimer::timeout, this, [this] { dispatcher_.onExamTick(); });
  connect(timer(Timer::kTyping), &QTimer::timeout, this, [this] { dispatcher_.onTypingTick(); });

  // activated comes only from the user choosing an entry; the history
  // updates change the list and the selection without it.
  connect(cboAddress_, &QComboBox::activated, this, [this] { dispatcher_.onAddressClick(); });
  // Enter is the Dispatcher's (key code 13), before the box acts on it.
  cboAddress_->installEventFilter(this);
  cboAddress_->lineEdit()->installEventFilter(this);

  connect(page_, &ExamPage::beforeNavigate, this, &FrmBrowser::handleBeforeNavigate,
          Qt::DirectConnection);
  connect(page_, &QWebEnginePage::loadingChanged, this, &FrmBrowser::handleLoadingChanged);
  connect(page_, &ExamPage::elementEvent, this, &FrmBrowser::handleElementEvent,
          Qt::DirectConnection);
}

// --- Window events ------------------------------------------------------------

void FrmBrowser::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (loaded_) return;
  loaded_ = true;
  // The load runs once the window is on screen, from the event loop, as the
  // form's load event did before its first paint.
  QTimer::singleShot(0, this, [this] { handleLoad(); });
}

void FrmBrowser::handleLoad() {
  tbToolBar_->update();
  brwWebBrowser_->setFocus();
  dispatcher_.onLoad();
  if (!startAddress_.empty()) {
    // As if typed into the address box.
    setAddressText(startAddress_);
    dispatcher_.onAddressClick();
  }
}

void FrmBrowser::closeEvent(QCloseEvent* event) {
  // The exit menu has deleted the page files already; so has nobody when the
  // program is ended by the exam preparation, which skips the clean-up.
  if (!quitting_) dispatcher_.onClose();
  for (QTimer* timer : timers_) timer->stop();
  event->accept();
}

bool FrmBrowser::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == cboAddress_ || watched == cboAddress_->lineEdit()) &&
      event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      dispatcher_.onAddressKeyPress(13);
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void FrmBrowser::handleToolbarButton(const QString& key) { dispatcher_.onToolbarButton(ss(key)); }

// --- Browser events -------------------------------------------------------------

void FrmBrowser::handleBeforeNavigate(const QUrl& url) {
  dispatcher_.onBeforeNavigate(ss(toFileUrl(url).toString()));
}

void FrmBrowser::handleLoadingChanged(const QWebEngineLoadingInfo& info) {
  switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
      loading_ = true;
      requested_ = false;
      return;
    case QWebEngineLoadingInfo::LoadStoppedStatus:
      // Stopped or replaced by another navigation: nothing was shown.
      loading_ = false;
      requested_ = false;
      dispatcher_.onDownloadComplete();
      return;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
    case QWebEngineLoadingInfo::LoadFailedStatus:
      break;
  }
  loading_ = false;
  requested_ = false;
  const QUrl url = toFileUrl(info.url());
  locationURL_ = ss(url.toString());
  locationName_ = ss(url.isLocalFile() ? url.fileName() : page_->title());
  dispatcher_.onNavigateComplete();
  dispatcher_.onDownloadComplete();
  emit navigateCompleted(qs(locationURL_), qs(locationName_));
}

void FrmBrowser::handleElementEvent(const ElementEvent& event) {
  activeValue_.reset();
  activeDefaultValue_.reset();
  if (event.value) activeValue_ = ss(*event.value);
  if (event.defaultValue) activeDefaultValue_ = ss(*event.defaultValue);
  if (event.kind == ElementEvent::Kind::kStatusText) {
    dispatcher_.onStatusTextChange();
    emit statusTextHandled();
  } else {
    dispatcher_.onCommandStateChange();
    emit commandStateHandled();
  }
}

// --- BrowserHost ----------------------------------------------------------------

std::string FrmBrowser::locationURL() { return locationURL_; }

std::string FrmBrowser::locationName() { return locationName_; }

std::string FrmBrowser::activeValue() {
  if (!activeValue_) throw noSuchProperty("value");
  return *activeValue_;
}

std::string FrmBrowser::activeDefaultValue() {
  if (!activeDefaultValue_) throw noSuchProperty("defaultValue");
  return *activeDefaultValue_;
}

void FrmBrowser::navigate(const std::string& url) {
  // A file path, a "File://" address or a URL; a bare name is a file of the
  // program folder.
  const QUrl target = QUrl::fromUserInput(qs(url), qs(app_.AppFolder), QUrl::AssumeLocalFile);
  if (!target.isValid())
    throw AutomationError(err::kInvalidCall, "BqTestMy", "Invalid address: " + url);
  const QUrl engineUrl = toEngineUrl(target);
  // An address within the page on display scrolls it without a load.
  const bool withinPage =
      engineUrl.hasFragment() &&
      engineUrl.adjusted(QUrl::RemoveFragment) == page_->url().adjusted(QUrl::RemoveFragment);
  page_->setUrl(engineUrl);
  // Otherwise the browser is busy from the moment it is asked, before the
  // engine reports the load's start.
  requested_ = !withinPage;
}

void FrmBrowser::browserCommand(BrowserCommand command) {
  switch (command) {
    case BrowserCommand::kBack:
      page_->triggerAction(QWebEnginePage::Back);
      break;
    case BrowserCommand::kForward:
      page_->triggerAction(QWebEnginePage::Forward);
      break;
    case BrowserCommand::kStop:
      page_->triggerAction(QWebEnginePage::Stop);
      break;
    case BrowserCommand::kRefresh:
      page_->triggerAction(QWebEnginePage::Reload);
      break;
    case BrowserCommand::kHome:
      navigate(dispatcher_.StartingAddress());
      break;
    case BrowserCommand::kSearch:
      navigate(kSearchPage);
      break;
  }
}

void FrmBrowser::setTitle(const std::string& text) { setWindowTitle(qs(text)); }

void FrmBrowser::setTimer(Timer which, bool on) {
  QTimer* t = timer(which);
  // Switching a running timer on again does not restart its interval.
  if (on && !t->isActive()) t->start();
  if (!on) t->stop();
}

bool FrmBrowser::timerOn(Timer which) { return timer(which)->isActive(); }

std::string FrmBrowser::addressText() { return ss(cboAddress_->currentText()); }

void FrmBrowser::setAddressText(const std::string& text) {
  const QSignalBlocker quiet(cboAddress_);
  cboAddress_->setEditText(qs(text));
}

int FrmBrowser::addressCount() { return cboAddress_->count(); }

std::string FrmBrowser::addressAt(int index) {
  if (index < 0 || index >= cboAddress_->count())
    throw AutomationError(err::kInvalidCall, "BqTestMy", "Invalid procedure call or argument");
  return ss(cboAddress_->itemText(index));
}

void FrmBrowser::addAddress(const std::string& text) {
  const QSignalBlocker quiet(cboAddress_);
  cboAddress_->addItem(qs(text));
}

void FrmBrowser::insertAddress(int index, const std::string& text) {
  const QSignalBlocker quiet(cboAddress_);
  cboAddress_->insertItem(index, qs(text));
}

void FrmBrowser::removeAddress(int index) {
  const QSignalBlocker quiet(cboAddress_);
  cboAddress_->removeItem(index);
}

void FrmBrowser::selectAddress(int index) {
  const QSignalBlocker quiet(cboAddress_);
  cboAddress_->setCurrentIndex(index);
}

void FrmBrowser::shellRun(const std::string& command) { shellRun_(command); }

void FrmBrowser::quit() {
  if (quitting_) return;
  quitting_ = true;
  // The program ends: the window goes once the current event is over.
  QTimer::singleShot(0, this, [this] { close(); });
}

}  // namespace bq::client
