// The exam client's browser mode (what "IEXPLORE.EXE X" opens), in the real
// web engine on Qt's offscreen platform: the e-mail practice page of the
// demo program folder shows as a page, not as a download, with its title.
#include "client/qt/browse_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QSignalSpy>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <memory>

#include "client/qt/web_engine_setup.h"

namespace bq::client {
namespace {

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

TEST(BrowseWindow, ShowsTheEmailPageOfTheProgramFolder) {
  static int argc = 1;
  static char name[] = "client_browse_test";
  static char* argv[] = {name, nullptr};
  prepareWebEngine();
  auto application = std::make_unique<QApplication>(argc, argv);
  {
    BrowseWindow window;
    window.show();
    QSignalSpy loaded(window.view()->page(), &QWebEnginePage::loadFinished);
    window.open(std::string(BQ_DEMO_FOLDER) + "/Login.asp");
    ASSERT_TRUE(loaded.wait(20000));
    EXPECT_TRUE(loaded.first().at(0).toBool());
    EXPECT_EQ(window.windowTitle(), QString::fromUtf8("岚屿克电子邮件 - 写信"));
    EXPECT_EQ(window.view()->page()->url().scheme(), QStringLiteral("bqfile"));
  }
}

}  // namespace
}  // namespace bq::client
