// The end-of-test window on a real Qt display (the offscreen platform): with
// no back end set, EndTest brings it up through Qt, and a double-click on it
// closes it and ends the browser.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <filesystem>

#include "platform/ui/qt_backend.h"
#include "platform/ui/ui.h"
#include "webcom/session.h"
#include "webcom/test_sleeper.h"

namespace bq {
namespace {

namespace fs = std::filesystem;

TEST(FrmFtpOnQt, OpensOnTheDisplayAndClosesOnADoubleClick) {
  char tmpl[] = "/tmp/bq-webcom-qt-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const fs::path dir = tmpl;
  setenv("BQ_DRIVES", (dir / "drives").c_str(), 1);
  {
    ProcessNamesLock lock;
    Sleeper browser(dir, "IEXPLORE.EXE");
    ASSERT_FALSE(ui::backendIsSet());
    ui::ensureQtApplication();  // the timers below need it before EndTest starts Qt's loop

    QString title;
    QSize size;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || w->windowTitle() != QStringLiteral("考试结束")) continue;
        poll.stop();
        title = w->windowTitle();
        size = w->size();
        QTest::mouseDClick(w, Qt::LeftButton, Qt::NoModifier, w->rect().center());
        return;
      }
    });
    poll.start();
    // Should the double-click not close it, the window is closed for it, so
    // that the test fails instead of waiting for ever.
    QTimer::singleShot(20000, [] {
      for (QWidget* w : QApplication::topLevelWidgets()) w->close();
    });

    EndTest("C:\\BQTEST");
    EXPECT_EQ(title.toStdString(), "考试结束");
    EXPECT_EQ(size, QSize(480, 300));
    EXPECT_TRUE(browser.wasKilled());
  }
  unsetenv("BQ_DRIVES");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace bq
