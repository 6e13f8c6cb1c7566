// The exam client's browser mode (what "IEXPLORE.EXE X" opens), in the real
// web engine on Qt's offscreen platform: the e-mail practice page of the
// demo program folder shows as a page, not as a download, with its title; a
// page reads no file outside its own folder.
#include "client/qt/browse_window.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <filesystem>
#include <random>
#include <string>

#include "client/qt/testing/file_probe.h"
#include "client/qt/testing/window_test.h"

namespace bq::client {
namespace {

namespace fs = std::filesystem;

TEST(BrowseWindow, AddressesAreLocalFilesInTheProgramSchemeAndOthersAsGiven) {
  const QString here = QDir::currentPath();
  const std::vector<std::pair<std::string, QString>> table = {
      {"", "about:blank"},
      {"/opt/bq/Login.asp", "bqfile:/opt/bq/Login.asp"},
      {"file:///opt/bq/Login.asp", "bqfile:/opt/bq/Login.asp"},
      {"Login.asp", "bqfile:" + here + "/Login.asp"},
      {"http://exam.local/a.asp?x=1", "http://exam.local/a.asp?x=1"},
  };
  for (const auto& [target, address] : table)
    EXPECT_EQ(BrowseWindow::addressOf(target).toString(), address) << target;
}

class BrowseWindowTest : public testing::WindowTest {
 protected:
  // Opens `target` in `window` and waits for the load.
  static void openAndWait(BrowseWindow& window, const std::string& target) {
    QSignalSpy loaded(window.view()->page(), &QWebEnginePage::loadFinished);
    window.open(target);
    ASSERT_TRUE(loaded.wait(20000));
    EXPECT_TRUE(loaded.first().at(0).toBool());
  }

  // The value of `script` in the page, once it is no longer undefined (at
  // most `seconds` later); an invalid value when it never is.
  static QVariant valueOf(BrowseWindow& window, const QString& script, int seconds = 20) {
    QElapsedTimer since;
    since.start();
    while (since.elapsed() < seconds * 1000) {
      QVariant value;
      bool answered = false;
      window.view()->page()->runJavaScript(script, [&](const QVariant& v) {
        value = v;
        answered = true;
      });
      while (!answered && since.elapsed() < seconds * 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      if (value.isValid()) return value;
      QTest::qWait(50);
    }
    return {};
  }
};

TEST_F(BrowseWindowTest, ShowsTheEmailPageOfTheProgramFolder) {
  BrowseWindow window;
  window.show();
  openAndWait(window, std::string(BQ_DEMO_FOLDER) + "/Login.asp");
  EXPECT_EQ(window.windowTitle(), QString::fromUtf8("岚屿克电子邮件 - 写信"));
  EXPECT_EQ(window.view()->page()->url().scheme(), QStringLiteral("bqfile"));
}

// A page opened in the browser reads the files of its own folder, by any
// means, and no other file of the disk.
TEST_F(BrowseWindowTest, APageReadsNoFileOutsideItsFolder) {
  std::random_device seed;
  const fs::path root = fs::temp_directory_path() / ("bq-browse-" + std::to_string(seed()));
  testing::writeFileProbe(root / "site", root / "home");
  {
    BrowseWindow window;
    window.show();
    openAndWait(window, (root / "site" / "probe.htm").string());
    EXPECT_EQ(valueOf(window, QStringLiteral("window.__reads")).toString().toStdString(),
              testing::kFileProbeConfined);
  }
  std::error_code ignored;
  fs::remove_all(root, ignored);
}

}  // namespace
}  // namespace bq::client
