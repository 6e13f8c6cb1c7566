#include "client/core/preparation.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <system_error>

#include "BrightquillCom/brightquill_client.h"
#include "client/core/exam_queries.h"
#include "common/ansi.h"
#include "common/automation_error.h"
#include "common/files.h"
#include "common/text.h"
#include "common/winpath.h"
#include "platform/db/recordset.h"
#include "platform/ui/ui.h"
#include "webcom/bqcom.h"

namespace bq::client {
namespace {

namespace fs = std::filesystem;

// Where the kernel keeps the host name (the name gethostname reports).
constexpr const char* kHostNameFile = "/proc/sys/kernel/hostname";

// Runs `step`; an AutomationError it throws is shown as a failure of `what`.
void guarded(const std::string& what, const std::function<void()>& step) {
  try {
    step();
  } catch (const AutomationError& e) {
    showFailure(what, e);
  }
}

std::string workFile(const AppValues& app, std::string_view prefix, std::string_view extension) {
  return app.WorkFolder + "\\" + std::string(prefix) + app.CardNumber + std::string(extension);
}

void writeBytes(AtomicOutput& out, std::string_view bytes) {
  out.write(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
}

// FileCopy: the target is replaced as a whole by a copy of the source.
void copyFile(const std::string& from, const std::string& to) {
  InputFile in(winpath::toNative(from));
  AtomicOutput out(winpath::toNative(to), AtomicOutput::Durability::kUnflushed);
  std::array<uint8_t, 64 * 1024> buffer{};
  for (size_t n; (n = in.read(buffer)) > 0;) out.write(std::span(buffer.data(), n));
  out.commit();
  // The copy keeps the source's permissions, as a file copy on Windows keeps
  // a program runnable: the question-text viewer is run from the copy.
  std::error_code ec;
  const fs::perms perms = fs::status(winpath::toNative(from), ec).permissions();
  if (!ec) fs::permissions(winpath::toNative(to), perms & fs::perms::all, ec);
}

struct Export {
  const char* table;
  const char* code;
  const char* prefix;
  const char* extension;  // question documents only
};

constexpr Export kQuestionFiles[] = {
    {"wordtable", "07", "wt", ".doc"},
    {"wordtest", "06", "wd", ".doc"},
    {"exceltest", "08", "ex", ".xls"},
    {"powerpoint", "11", "ppt", ".ppt"},
};

constexpr Export kQuestionTexts[] = {
    {"wordtable", "07", "wt", nullptr}, {"wordtest", "06", "wd", nullptr},
    {"exceltest", "08", "ex", nullptr}, {"powerpoint", "11", "ppt", nullptr},
    {"E_mail", "10", "eml", nullptr},   {"Operation", "05", "op", nullptr},
};

constexpr const char* kPageFiles[] = {
    "\\selection.asp", "\\judgement.asp", "\\typewrite.asp", "\\operation.asp",  "\\wordtest.asp",
    "\\wordtable.asp", "\\excel.asp",     "\\e_mail.asp",    "\\powerpoint.asp",
};

}  // namespace

void showFailure(const std::string& what, const AutomationError& e) {
  std::string text = what + "\r\n" + e.description();
  if (e.number() != 0) text += " (" + std::to_string(e.number()) + ")";
  ui::MsgBox(text, ui::vbExclamation);
}

Preparation prepareExam(const AppValues& app) {
  if (getTestFile(app) == Preparation::kEndProgram) return Preparation::kEndProgram;
  for (const char* name : {"questionpane.exe", "bq.avi"}) {
    const std::string from = app.AppFolder + "\\" + name;
    const std::string to = std::string("c:\\bqtest\\") + name;
    guarded("无法复制文件 " + from + " 到 " + to + "。", [&] { copyFile(from, to); });
  }
  getData(app);
  return Preparation::kGoOn;
}

Preparation getTestFile(const AppValues& app) {
  if (app.CardNumber.empty()) {
    ui::MsgBox(std::string(kNoCardNumberMessage), ui::vbInformation);
    return Preparation::kEndProgram;
  }
  std::string question;
  try {
    db::Recordset rs = openOperationList(app.ExamConnection, app.CardNumber);
    if (rs.Eof()) {
      ui::MsgBox(std::string(kUnknownCardMessage), ui::vbInformation);
      return Preparation::kEndProgram;
    }
    question = columnText(rs, "Question");
    rs.Close();
  } catch (const AutomationError& e) {
    // Without the operation list nothing can be prepared; the original ended
    // here with its run-time error, and so does the client.
    showFailure("无法读取信息卡号 " + app.CardNumber + " 的试卷。", e);
    return Preparation::kEndProgram;
  }
  BQCOM com;
  com.PreTest(app.WorkFolder);
  guarded("无法建立考试文件夹 " + app.WorkFolder + "。",
          [&] { com.CreateOpDirs(app.WorkFolder, question); });
  return Preparation::kGoOn;
}

void getData(const AppValues& app) {
  for (const Export& e : kQuestionFiles) {
    guarded("无法导出试题文件 " + workFile(app, e.prefix, e.extension) + "。",
            [&] { FileDownLoad(app, e.table, e.code, e.prefix, e.extension); });
  }
  for (const Export& e : kQuestionTexts) {
    guarded("无法导出试题文件 " + workFile(app, e.prefix, ".Tg") + "。", [&] {
      std::string cFileName = e.prefix;
      DownOpFiletg(app, e.table, e.code, cFileName);
    });
  }
}

void FileDownLoad(const AppValues& app, const std::string& cTable, const std::string& ID,
                  const std::string& cFileName, const std::string& cFileLX) {
  db::Recordset rs = openQuestionFile(app.ExamConnection, cTable, app.CardNumber, ID);
  if (!rs.Eof()) BrightquillClient().GetOleData(rs, workFile(app, cFileName, cFileLX), "fj");
  rs.Close();
}

void DownOpFiletg(const AppValues& app, const std::string& cTable, const std::string& ID,
                  std::string& cFileName) {
  cFileName = workFile(app, cFileName, ".Tg");
  db::Recordset rs = openQuestionText(app.ExamConnection, cTable, app.CardNumber, ID);
  if (!rs.Eof()) {
    std::string text = columnText(rs, "TG");
    if (ID == "10") text += "\r\n\r\n" + std::string(kServerNameHint) + ComputerNameText();
    AtomicOutput out(winpath::toNative(cFileName), AtomicOutput::Durability::kUnflushed);
    writeBytes(out, toAnsi(text));
    out.commit();
  }
  rs.Close();
}

void KillDir(const AppValues& app) { (void)killPageFiles(app); }

std::vector<std::string> killPageFiles(const AppValues& app) {
  std::vector<std::string> deleted;
  for (const char* page : kPageFiles) {
    try {
      const std::string path = app.AppFolder + page;
      const fs::path native = winpath::toNative(path);
      std::error_code ec;
      // Only files: a folder that happens to carry a page's name stays.
      if (fs::is_directory(fs::symlink_status(native, ec))) continue;
      if (fs::remove(native, ec)) deleted.push_back(path);
    } catch (const AutomationError&) {
      // A page whose path cannot be mapped was never written.
    }
  }
  return deleted;
}

std::string ComputerNameText() {
  std::optional<std::string> reported;
  try {
    std::string name = readWholeFile(kHostNameFile);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    reported = std::move(name);
  } catch (const AutomationError&) {
  }
  return computerNameText(reported);
}

std::string computerNameText(const std::optional<std::string>& reported) {
  if (reported && len16(*reported) < kComputerNameBuffer) return *reported;
  return std::string(kComputerNameBuffer, ' ');
}

}  // namespace bq::client
