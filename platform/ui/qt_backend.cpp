#include "platform/ui/qt_backend.h"

#include <QApplication>
#include <QByteArray>
#include <QDialog>
#include <QFileDialog>
#include <QImage>
#include <QInputDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QScreen>
#include <QPushButton>
#include <QThread>
#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <utility>

#include "common/automation_error.h"
#include "common/winpath.h"
#include "platform/ui/common_dialog.h"
#include "platform/ui/display.h"
#include "platform/ui/picture.h"

namespace bq::ui {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void cannotShow(const std::string& what, const std::string& reason) {
  throw AutomationError(
      err::kCantCreateObject, "",
      runtimeErrorText(err::kCantCreateObject) + ": " + what + " cannot be shown (" + reason + ")");
}

// Qt widgets may be touched only on the application's thread.
void requireGuiThread(const std::string& what) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) cannotShow(what, "Qt is not started");
  if (!qobject_cast<QApplication*>(app)) {
    cannotShow(what, "the program's Qt application cannot show widgets");
  }
  if (QThread::currentThread() != app->thread()) {
    cannotShow(what, "the Qt user interface belongs to another thread");
  }
}

QString qs(const std::string& utf8) { return QString::fromStdString(utf8); }

QString titleOf(const std::string& title) { return qs(title.empty() ? programName() : title); }

// The original's prompts break lines with CR LF; a label wants LF.
QString plainText(const std::string& text) {
  QString s = qs(text);
  s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return s;
}

QMessageBox::StandardButton standardButton(int answer) {
  switch (answer) {
    case vbOK:
      return QMessageBox::Ok;
    case vbCancel:
      return QMessageBox::Cancel;
    case vbAbort:
      return QMessageBox::Abort;
    case vbRetry:
      return QMessageBox::Retry;
    case vbIgnore:
      return QMessageBox::Ignore;
    case vbYes:
      return QMessageBox::Yes;
    case vbNo:
      return QMessageBox::No;
    default:
      return QMessageBox::NoButton;
  }
}

QMessageBox::Icon iconOf(int buttons) {
  switch (buttons & 0x70) {
    case vbCritical:
      return QMessageBox::Critical;
    case vbQuestion:
      return QMessageBox::Question;
    case vbExclamation:
      return QMessageBox::Warning;
    case vbInformation:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

QImage decodePicture(const std::vector<uint8_t>& bytes, const PictureInfo& info) {
  const char* format = info.format == PictureFormat::kPng ? "PNG" : "JPEG";
  QImage image;
  if (bytes.size() > static_cast<size_t>(std::numeric_limits<qsizetype>::max()) ||
      !image.loadFromData(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
                          format) ||
      image.isNull()) {
    throw AutomationError(
        kInvalidPicture, "",
        std::string("Invalid picture: the ") + format + " data cannot be decoded");
  }
  return image;
}

class DialogControl final : public WindowControl {
 public:
  explicit DialogControl(QDialog& dialog) : dialog_(dialog) {}
  void close() override { dialog_.done(QDialog::Accepted); }

 private:
  QDialog& dialog_;
};

// Runs an event handler of a window of ours. An exception must not cross
// Qt's event loop: it closes the window and is kept in `failure` for runModal.
template <typename Handler>
void runHandler(QDialog& dialog, std::exception_ptr& failure, const Handler& handler) {
  if (!handler) return;
  DialogControl control(dialog);
  try {
    handler(control);
  } catch (...) {
    failure = std::current_exception();
    control.close();
  }
}

class PictureDialog final : public QDialog {
 public:
  PictureDialog(const PictureWindow& window, QImage image)
      : window_(window), image_(std::move(image)) {
    setObjectName(QStringLiteral("bqPictureWindow"));
    setWindowTitle(qs(window.title));
    Qt::WindowFlags flags =
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    if (window.alwaysOnTop) flags |= Qt::WindowStaysOnTopHint;
    setWindowFlags(flags);
    setFixedSize(image_.size());
  }

  std::exception_ptr failure() const { return failure_; }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.drawImage(rect(), image_);
  }

  void mouseDoubleClickEvent(QMouseEvent* event) override {
    event->accept();
    if (event->button() == Qt::LeftButton) runHandler(*this, failure_, window_.onDoubleClick);
  }

 private:
  const PictureWindow& window_;
  QImage image_;
  std::exception_ptr failure_;
};

class TextDialog final : public QDialog {
 public:
  explicit TextDialog(const TextWindow& window) : window_(window) {
    setObjectName(QStringLiteral("bqTextWindow"));
    setWindowTitle(qs(window.title));
    Qt::WindowFlags flags =
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    if (window.alwaysOnTop) flags |= Qt::WindowStaysOnTopHint;
    setWindowFlags(flags);
    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("txt"));
    text_->setReadOnly(true);
    text_->setPlainText(plainText(window.text));
    // Placed before it is shown: the placement itself activates nothing.
    const PixelRect& p = window.placement;
    setGeometry(p.x, p.y, std::max(1, p.width), std::max(1, p.height));
    move(p.x, p.y);  // the frame's corner, where the window system adds a frame
  }

  std::exception_ptr failure() const { return failure_; }

 protected:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::WindowActivate) runHandler(*this, failure_, window_.onActivate);
    return QDialog::event(event);
  }

  void showEvent(QShowEvent* event) override {
    QDialog::showEvent(event);
    // A frame makes the outer window larger than the inside: keep the outer
    // size that was asked for.
    const QSize extra = frameGeometry().size() - geometry().size();
    const PixelRect& p = window_.placement;
    if (!extra.isEmpty()) {
      resize(std::max(1, p.width - extra.width()), std::max(1, p.height - extra.height()));
    }
    // Shown modally, the window is activated, as the original's modal show did.
    activateWindow();
    raise();
  }

  void resizeEvent(QResizeEvent* event) override {
    QDialog::resizeEvent(event);
    if (!window_.layoutText) return;
    const QSize outer = frameGeometry().size();
    const PixelRect box = window_.layoutText(outer.width(), outer.height());
    text_->setGeometry(box.x, box.y, std::max(0, box.width), std::max(0, box.height));
  }

  void mouseReleaseEvent(QMouseEvent* event) override {
    event->accept();
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
      runHandler(*this, failure_, window_.onClick);
    }
  }

 private:
  const TextWindow& window_;
  QPlainTextEdit* text_ = nullptr;
  std::exception_ptr failure_;
};

// Folders where Qt looks for its platform plugins, in its own order.
std::vector<fs::path> platformPluginDirs() {
  std::vector<fs::path> dirs;
  if (const char* v = std::getenv("QT_QPA_PLATFORM_PLUGIN_PATH"); v && *v) dirs.emplace_back(v);
  if (const char* v = std::getenv("QT_PLUGIN_PATH"); v && *v) {
    for (const QString& dir :
         QString::fromLocal8Bit(v).split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
      dirs.push_back(fs::path(dir.toStdString()) / "platforms");
    }
  }
  dirs.push_back(fs::path(QLibraryInfo::path(QLibraryInfo::PluginsPath).toStdString()) /
                 "platforms");
  return dirs;
}

// The application ensureQtApplication creates, with the arguments Qt keeps
// pointers to. It is never destroyed: exit handlers run after Qt's own
// globals are gone, and a QApplication destroyed then crashes. A pointer in
// static storage keeps it reachable, so leak checkers do not count it.
struct OwnApplication {
  explicit OwnApplication(std::string platforms) : platform(std::move(platforms)) {
    // QCoreApplication sets the C locale from the environment (setlocale(LC_ALL,
    // "")); a library starting Qt must not change how the rest of the process
    // formats and parses numbers.
    const std::string locale = std::setlocale(LC_ALL, nullptr);
    app = new QApplication(argc, argv);
    std::setlocale(LC_ALL, locale.c_str());
  }
  std::string name = programName();
  std::string option = "-platform";
  std::string platform;
  int argc = 3;
  char* argv[4] = {name.data(), option.data(), platform.data(), nullptr};
  QApplication* app = nullptr;
};

OwnApplication* ownApplication = nullptr;

// Library code on several threads may ask for Qt at once: the check and the
// creation are one step, or two applications would be made.
std::mutex applicationMutex;

void ensureQtApplicationFor(const std::string& what) {
  const std::lock_guard<std::mutex> lock(applicationMutex);
  if (QCoreApplication* app = QCoreApplication::instance()) {
    if (!qobject_cast<QApplication*>(app)) {
      cannotShow(what, "the program's Qt application cannot show widgets");
    }
    return;
  }
  const PlatformChoice choice = usablePlatforms(currentDisplayEnvironment(platformPluginDirs()));
  if (choice.platforms.empty()) raiseNoDisplay(what, choice.why);
  ownApplication = new OwnApplication(choice.platforms);
}

}  // namespace

int QtBackend::messageBox(const MessageBoxRequest& request) {
  const std::vector<int> answers = messageBoxButtons(request.buttons);
  requireGuiThread("the message box");
  QMessageBox box;
  box.setWindowTitle(titleOf(request.title));
  box.setTextFormat(Qt::PlainText);
  box.setText(plainText(request.prompt));
  box.setIcon(iconOf(request.buttons));
  std::vector<std::pair<QAbstractButton*, int>> buttons;
  const int defaultButton = defaultAnswer(request.buttons);
  for (int answer : answers) {
    QPushButton* button = box.addButton(standardButton(answer));
    buttons.emplace_back(button, answer);
    if (answer == defaultButton) box.setDefaultButton(button);
    if (answer == vbCancel || answers.size() == 1) box.setEscapeButton(button);
  }
  box.exec();
  for (const auto& [button, answer] : buttons) {
    if (button == box.clickedButton()) return answer;
  }
  return defaultButton;  // ended by other means (the application quit)
}

std::string QtBackend::inputBox(const InputBoxRequest& request) {
  requireGuiThread("the input box");
  QInputDialog dialog;
  dialog.setWindowTitle(titleOf(request.title));
  dialog.setInputMode(QInputDialog::TextInput);
  dialog.setLabelText(plainText(request.prompt));
  dialog.setTextValue(qs(request.defaultText));
  if (dialog.exec() != QDialog::Accepted) return "";
  return dialog.textValue().toStdString();
}

void QtBackend::runModal(const PictureWindow& window) {
  const PictureInfo info = readPictureInfo(window.picture);
  requireGuiThread(windowDescription(window.title));
  PictureDialog dialog(window, decodePicture(window.picture, info));
  dialog.exec();
  if (dialog.failure()) std::rethrow_exception(dialog.failure());
}

ScreenMetrics QtBackend::screenMetrics() {
  requireGuiThread("the screen");
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) cannotShow("the screen", "Qt reports no screen");
  auto twips = [](qreal dpi) {
    return dpi > 0 ? std::max(1, static_cast<int>(std::lround(1440.0 / dpi))) : 15;
  };
  return {screen->geometry().width(), screen->geometry().height(),
          twips(screen->logicalDotsPerInchX()), twips(screen->logicalDotsPerInchY())};
}

void QtBackend::runModalText(const TextWindow& window) {
  requireGuiThread(windowDescription(window.title));
  TextDialog dialog(window);
  dialog.exec();
  if (dialog.failure()) std::rethrow_exception(dialog.failure());
}

std::vector<std::string> qtNameFilters(const std::string& filter) {
  std::vector<std::string> out;
  for (const FilterItem& item : parseFilter(filter)) {
    std::string patterns;
    for (const std::string& p : item.patterns) patterns += (patterns.empty() ? "" : " ") + p;
    out.push_back(item.description + " (" + patterns + ")");
  }
  return out;
}

std::optional<std::string> QtBackend::fileDialog(const FileDialogRequest& request) {
  requireGuiThread("the file dialog");
  QFileDialog dialog;
  if (!request.title.empty()) dialog.setWindowTitle(qs(request.title));
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(!request.save && (request.flags & cdlOFNFileMustExist)
                         ? QFileDialog::ExistingFile
                         : QFileDialog::AnyFile);
  if (!(request.flags & cdlOFNOverwritePrompt)) {
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  }
  QStringList filters;
  for (const std::string& f : qtNameFilters(request.filter)) filters << qs(f);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  if (!request.fileName.empty()) {
    const fs::path initial = winpath::toNative(request.fileName);
    if (initial.has_parent_path()) dialog.setDirectory(qs(initial.parent_path().string()));
    dialog.selectFile(qs(initial.filename().string()));
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front().toStdString();
}

void QtBackend::doEvents() { bq::ui::doEvents(); }

void ensureQtApplication() { ensureQtApplicationFor("windows"); }

void installQtBackend() {
  ensureQtApplication();
  setBackend(std::make_shared<QtBackend>());
}

void runModalOnDisplay(const TextWindow& window) {
  if (backendIsSet()) {
    runModal(window);
    return;
  }
  ensureQtApplicationFor(windowDescription(window.title));
  QtBackend().runModalText(window);
}

ScreenMetrics screenMetricsOnDisplay() {
  if (backendIsSet()) return screenMetrics();
  ensureQtApplicationFor("the screen");
  return QtBackend().screenMetrics();
}

void doEvents() {
  QCoreApplication* app = QCoreApplication::instance();
  if (app && QThread::currentThread() == app->thread()) QCoreApplication::processEvents();
}

void runModalOnDisplay(const PictureWindow& window) {
  if (backendIsSet()) {
    runModal(window);
    return;
  }
  readPictureInfo(window.picture);  // a bad picture is reported as such, display or not
  ensureQtApplicationFor(windowDescription(window.title));
  QtBackend().runModal(window);
}

}  // namespace bq::ui
