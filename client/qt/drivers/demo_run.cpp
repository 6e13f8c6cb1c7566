#include "client/qt/drivers/demo_run.h"

#include <QAction>
#include <QToolBar>
#include <system_error>

#include "client/core/dispatcher.h"
#include "client/qt/drivers/browser_driver.h"

namespace bq::client {
namespace {

namespace fs = std::filesystem;

// The sections as the button of "Begin.asp" opens them.
struct Section {
  const char* button;  // the button's id on Begin.asp
  const char* page;    // the page it opens
};
constexpr Section kSections[] = {
    {"btn-selection", "selection.asp"},   {"btn-judgement", "judgement.asp"},
    {"btn-typewrite", "typewrite.asp"},   {"btn-operation", "operation.asp"},
    {"btn-wordtest", "wordtest.asp"},     {"btn-wordtable", "wordtable.asp"},
    {"btn-exceltest", "excel.asp"},       {"btn-e_mail", "e_mail.asp"},
    {"btn-powerpoint", "powerpoint.asp"},
};

QString q(const char* text) { return QString::fromUtf8(text); }

void check(bool condition, const std::string& what) {
  if (!condition) throw DriverError(what);
}

}  // namespace

void signInAndBegin(BrowserDriver& driver, FrmBrowser& window,
                    const std::function<void(const std::string&)>& reached) {
  const auto loaded = [&](const char* page) {
    driver.waitForPage(q(page));
    if (reached) reached(page);
  };
  // The card number "BQ1", typed into the card input.
  loaded("BqLogin.asp");
  driver.click(q("#card"));
  driver.type(q("BQ1"));
  driver.waitUntil([&] { return window.app().CardNumber == "bq1"; },
                   q("the card number bq1 to be taken from the input"));
  driver.click(q("#btn-confirm"));
  loaded("StdKnow.asp");
  driver.click(q("#btn-begin"));
  loaded("Begin.asp");
}

void openSection(BrowserDriver& driver, FrmBrowser& window, const char* button, const char* page,
                 bool backFirst) {
  if (backFirst) {
    QAction* back = window.toolBar()->findChild<QAction*>(q("Back"));
    check(back != nullptr, "the toolbar has no Back button");
    back->trigger();
    driver.waitForPage(q("Begin.asp"));
  }
  driver.click(QStringLiteral("#") + q(button));
  driver.waitForPage(q(page));
}

DemoRun::DemoRun(fs::path outDir, std::ostream& out, std::ostream& err)
    : outDir_(std::move(outDir)), out_(out), err_(err) {}

ShellRunner DemoRun::shellRecorder() {
  return [this](const std::string& command) {
    commands_.push_back(command);
    out_ << "run: " << command << std::endl;
  };
}

int DemoRun::run(FrmBrowser& window) {
  try {
    drive(window);
  } catch (const DriverError& e) {
    err_ << "BqTestMy: demo run failed: " << e.what() << std::endl;
    window.close();
    return 1;
  }
  out_ << "demo run passed" << std::endl;
  return 0;
}

void DemoRun::drive(FrmBrowser& window) {
  std::error_code ec;
  fs::create_directories(outDir_, ec);
  check(!ec, "cannot create the folder " + outDir_.string() + ": " + ec.message());

  BrowserDriver driver(window);
  const auto shot = [&](const std::string& page) {
    const QString name = QStringLiteral("%1-%2.png")
                             .arg(++shots_, 2, 10, QLatin1Char('0'))
                             .arg(QString::fromStdString(fs::path(page).stem().string()));
    const fs::path path = outDir_ / name.toStdString();
    // The page as it first shows, not where a click has scrolled it.
    driver.evaluate(q("window.scrollTo(0, 0)"));
    driver.screenshot(QString::fromStdString(path.string()));
    out_ << path.string() << std::endl;
  };

  signInAndBegin(driver, window, shot);

  bool first = true;
  for (const Section& section : kSections) {
    openSection(driver, window, section.button, section.page, !first);
    first = false;
    const std::string page = section.page;

    // The countdown has shown the remaining time.
    driver.waitUntil(
        [&] {
          return driver.evaluate(q("typeof tt == 'object' && tt.value || ''"))
              .toString()
              .startsWith(q("剩余时间："));
        },
        q("the countdown of ") + q(section.page));

    if (page == "typewrite.asp") {
      const int32_t ticks = window.app().TypingTicks;
      driver.waitUntil([&] { return window.app().TypingTicks > ticks; },
                       q("a tick of the typing clock"));
    }
    if (openCommandFor(page, window.app())) {
      const size_t before = commands_.size();
      driver.click(QStringLiteral("input[value=\"%1\"]").arg(q(kOpenButtonCaption.data())));
      driver.waitUntil([&] { return commands_.size() >= before + 2; },
                       q("the open button's two commands on ") + q(section.page));
    }
    shot(page);
  }

  // Hand in.
  driver.click(q("input[name=EndP]"));
  driver.waitForPage(q("EndTest.asp"));
  shot("EndTest.asp");

  window.close();
  for (const DispatchPage& page : dispatchPages()) {
    const fs::path file = fs::path(window.app().AppFolder) / std::string(page.pageName);
    check(!fs::exists(file, ec), "closing the window left " + file.string());
  }
}

}  // namespace bq::client
