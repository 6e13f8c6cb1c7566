// The process settings the web engine needs before the Qt application starts.
//
// Chromium's sandbox refuses to run as root, and a machine without a GPU (or
// the offscreen platform) needs software rendering. prepareWebEngine() sets,
// only where the user has not set them already:
//   - QTWEBENGINE_DISABLE_SANDBOX=1 when the process runs as root;
//   - QTWEBENGINE_CHROMIUM_FLAGS: "--lang=zh-CN", and with the offscreen
//     platform or without a display "--disable-gpu";
// and then:
//   - with the offscreen platform or without a display, the software scene
//     graph for the view (the engine shows no page when the scene asks for
//     OpenGL that is not there);
//   - the program scheme through which the window reads local files
//     (client/qt/program_scheme.h);
//   - the application attribute Qt::AA_ShareOpenGLContexts.
// A user's own QTWEBENGINE_CHROMIUM_FLAGS is kept and the missing flags are
// appended to it.
//
// As found on Debian bookworm (Qt 6.4.2), as root without a GPU: with
// QT_QPA_PLATFORM=offscreen the engine needs all of the above (without the
// software scene graph it loads nothing and says "No suitable graphics
// backend found"); under xvfb-run the engine draws with Mesa's OpenGL and
// needs only the sandbox setting.
//
// REQUIRES: called before the QApplication is created, on the main thread,
// while no other thread reads the environment.
#pragma once

namespace bq::client {

void prepareWebEngine();

}  // namespace bq::client
