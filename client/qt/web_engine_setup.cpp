#include "client/qt/web_engine_setup.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QFileInfo>
#include <QList>
#include <QQuickWindow>
#include <QSGRendererInterface>

#include "client/qt/program_scheme.h"

namespace bq::client {
namespace {

// Whether the engine will have no GPU to draw with: the offscreen platform,
// or no display named at all (xcb would fail before the engine matters).
bool softwareOnly() {
  const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
  if (platform.startsWith("offscreen") || platform.startsWith("minimal")) return true;
  return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// /proc/self belongs to the effective user of this process.
bool runningAsRoot() { return QFileInfo(QStringLiteral("/proc/self")).ownerId() == 0; }

}  // namespace

void prepareWebEngine() {
  if (runningAsRoot() && !qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"))
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

  QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  QList<QByteArray> wanted{"--lang=zh-CN"};
  if (softwareOnly()) {
    wanted.append("--disable-gpu");
    // The view's scene draws in software too; the engine refuses to show
    // pages when the scene asks for OpenGL that is not there.
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
  }
  for (const QByteArray& flag : wanted) {
    const QByteArray name = flag.left(flag.indexOf('=') < 0 ? flag.size() : flag.indexOf('='));
    if (flags.contains(name)) continue;
    if (!flags.isEmpty()) flags.append(' ');
    flags.append(flag);
  }
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);

  registerProgramScheme();
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

}  // namespace bq::client
