// BqTestMy --browse [TARGET]: the exam client as this desktop's web browser,
// what "IEXPLORE.EXE X" opens (platform/shell/openers.h), such as the e-mail
// question's practice page "Login.asp" of the program folder.
//
// One window shows TARGET (a local path, a file address or a URL; nothing
// gives an empty page) in the exam window's page (client/qt/exam_page.h):
// local files through the program scheme (the target's folder and below
// only, and its pages' "file:" requests no further), so .asp files are HTML, GBK as the
// default text encoding and the same rendering leniencies. It is a plain
// browser: no exam database, no dispatcher, no clocks, no page is written;
// links and scripts navigate within the window, and its title follows the
// page's. The program starts in this mode through client/qt/app.h
// (runBrowseWindow).
//
// Thread safety: a Qt window; the user-interface thread only.
#pragma once

#include <QMainWindow>
#include <QUrl>
#include <string>

class QWebEngineProfile;
class QWebEngineUrlRequestInterceptor;
class QWebEngineUrlSchemeHandler;
class QWebEngineView;

namespace bq::client {

class ExamPage;

class BrowseWindow final : public QMainWindow {
  Q_OBJECT

 public:
  explicit BrowseWindow(QWidget* parent = nullptr);
  ~BrowseWindow() override;

  // Shows `target` (see above).
  void open(const std::string& target);
  QWebEngineView* view() { return view_; }

  // The address `target` stands for: a local path or file address in the
  // program scheme, "about:blank" for nothing.
  static QUrl addressOf(const std::string& target);

 private:
  QWebEngineProfile* profile_ = nullptr;
  QWebEngineUrlSchemeHandler* scheme_ = nullptr;
  QWebEngineUrlRequestInterceptor* guard_ = nullptr;
  ExamPage* page_ = nullptr;
  QWebEngineView* view_ = nullptr;
};

}  // namespace bq::client
