#include "client/core/page_frame.h"

#include <filesystem>
#include <initializer_list>
#include <span>
#include <system_error>

#include "client/core/exam_queries.h"
#include "common/ansi.h"
#include "common/automation_error.h"
#include "common/files.h"
#include "common/winpath.h"

namespace bq::client {
namespace {

void append(std::string& page, std::initializer_list<std::string_view> fragments) {
  for (std::string_view f : fragments) page += f;
}

std::string_view bodyTag(PageKind kind) {
  switch (kind) {
    case PageKind::kChoice:
      return "<body topmargin=0 onload=startclock() background=images/back01.gif "
             "bgcolor=#FFFFFF scroll=no>";
    case PageKind::kTrueFalse:
    case PageKind::kOperation:
      return "<body topmargin=0 onload= startclock() background=images/back01.gif "
             "bgcolor=#FFFFFF scroll=no>";
    case PageKind::kTyping:
      return "<body topmargin=0 onload= startclock() oncontextmenu=\"return false\" "
             "onmousemove=\"return false\" oncopy=\"return false\" background=images/back01.gif "
             "bgcolor=#FFFFFF scroll=no>";
  }
  return {};
}

void appendExamineeBar(std::string& page) {
  append(page,
         {"<div align=center>", "<table width=100% cellspacing=0 cellpadding=0>", "<tr>",
          "<td align=center>",
          "<table width=85% border=4 cellspacing=0 cellpadding=2 bgcolor=#1855C6 "
          "bordercolor=#6E8ADE bordercolordark=#FFFFFF>",
          "<tr>", "<td colspan=3 align=left>&nbsp;",
          "<font color=#ffffff size=2>准考证号：<u>模拟考生</u></font>&nbsp;&nbsp;",
          "<font color=#ffffff size=2>考生姓名：<u>模拟考生</u></font>&nbsp;&nbsp;",
          "<input Type=button Name=\"tt\" value=\"88:88:88\" style=\"background-color:6E8ADE; "
          "color:#ffffff\">",
          "&nbsp;<input type=button name=EndP value=交卷[结束考试] onclick=\"onlytp()\" "
          "style=\"background-color:6E8ADE; color:#ffffff\">",
          "<input type=hidden Name=sysj>"});
}

void appendTimeValues(std::string& page, PageKind kind, const AppValues& app) {
  if (kind == PageKind::kTyping) {
    append(page, {"<input type=hidden Name=hzsj>", "<SCRIPT language=JavaScript>", "sysj.value="});
    page += std::to_string(app.ExamSecondsLeft);
    append(page, {";", "hzsj.value="});
    page += std::to_string(app.TypingSecondsLeft);
    append(page, {";", "</SCRIPT>"});
    return;
  }
  append(page, {"<Script Language=Javascript>", "sysj.value="});
  page += std::to_string(app.ExamSecondsLeft);
  page += "</script>";
}

SectionBarQuery sectionBarQuery(PageKind kind) {
  switch (kind) {
    case PageKind::kTrueFalse:
      return SectionBarQuery::kTrueFalse;
    case PageKind::kOperation:
      return SectionBarQuery::kOperation;
    case PageKind::kChoice:
    case PageKind::kTyping:
      break;
  }
  return SectionBarQuery::kChoiceAndTyping;
}

}  // namespace

void appendSectionBar(std::string& page, PageKind kind, const AppValues& app) {
  const std::string_view buttonHead = kind == PageKind::kOperation
                                          ? "<input type=button Name=cmd onclick=\"load"
                                          : "<input type=submit Name=cmd onclick=\"load";
  db::Recordset rs = openPaperTopics(app.ExamConnection, app.CardNumber, sectionBarQuery(kind));
  for (; !rs.Eof(); rs.MoveNext()) {
    // The table name becomes the name of a script function on the page.
    const std::string table = columnText(rs, "topic_table");
    requirePlainTableName(table, "topic_table");
    append(page, {buttonHead, table, "()\" style=\"background-color:6E8ADE; color:#ffffff\" value=",
                  columnText(rs, "topic_name"), ">&nbsp;"});
  }
  rs.Close();
}

void appendFrameTop(std::string& page, PageKind kind, const AppValues& app) {
  append(page, {"<html>", "<head>", "<title>考试试卷</title>", "</head>", bodyTag(kind)});
  appendExamineeBar(page);
  appendTimeValues(page, kind, app);
  append(page, {"</td>", "</tr>", "<tr>", "<td colspan=1 align=center width=100%>"});
  appendSectionBar(page, kind, app);
}

void appendCountdownScript(std::string& page, PageKind kind, std::string_view timeUpPart) {
  append(page, {"<SCRIPT language=JavaScript>",
                "var timerID = null;",
                "var timerRunning = false;",
                "function stopclock (){",
                "if(timerRunning)",
                "clearTimeout(timerID);",
                "timerRunning = false;",
                "}",
                "function showtime(){",
                "var sec;",
                "var lsh=sysj.value;",
                "var time1=Math.floor(lsh/60);",
                "if(time1<10){",
                "time1=\"0\" +time1}",
                "sec=lsh%60;",
                "if(sec<10){",
                "sec=\"0\"+ sec}",
                "var timeValue = \"剩余时间：\"  + time1 +\"分\"+ sec + \"秒\";",
                timeUpPart,
                "timerID = setTimeout(\"showtime()\",1000);",
                "timerRunning = true;",
                "}",
                kind == PageKind::kChoice ? "function startclock (){" : "function startclock () {",
                "stopclock();",
                "showtime();",
                "}",
                "function onlytp(){",
                "window.open(\"EndTest.asp\",\"_self\")",
                "}"});
}

std::string SectionSwitchScript() {
  std::string s;
  append(s, {"function loadselection(){",  "window.open (\"selection.asp\",\"_self\")", "}",
             "function loadjudgement(){",  "window.open(\"judgement.asp\",\"_self\")",  "}",
             "function loadtypewrite(){",  "window.open(\"typewrite.asp\",\"_self\")",  "}",
             "function loadoperation(){",  "window.open(\"operation.asp\",\"_self\")",  "}",
             "function loadwordtest(){",   "window.open(\"wordtest.asp\",\"_self\")",   "}",
             "function loadwordtable(){",  "window.open(\"wordtable.asp\",\"_self\")",  "}",
             "function loadexceltest(){",  "window.open (\"excel.asp\",\"_self\")",     "}",
             "function loadpowerpoint(){", "window.open(\"powerpoint.asp\",\"_self\")", "}",
             "function loade_mail(){",     "window.open(\"e_mail.asp\",\"_self\")",     "}"});
  return s;
}

void appendFrameBottom(std::string& page, PageKind kind, std::string_view timeUpPart) {
  append(page,
         {"<div>",
          "<fieldset style=position:absolute;left:0px;top:expression(document.body.clientHeight-"
          "22);height:22px;width:expression(document.body.clientWidth-1);background-color:#"
          "75AFF6;color:white;font-family:宋体;font-size:9pt;padding-top:2px;text-align:right;>",
          kVendorNotice, "</fieldset>", "</div>"});
  appendCountdownScript(page, kind, timeUpPart);
  page += SectionSwitchScript();
  page += "</SCRIPT>";
  if (kind == PageKind::kChoice) {
    page += "</body></html>";
  } else {
    append(page, {"</body>", "</html>"});
  }
}

void writePage(std::string_view path, std::string_view text) {
  const std::filesystem::path native = winpath::toNative(path);
  const std::string bytes = toAnsi(text);
  // A page is written anew at each visit: no need to wait for the disk. The
  // old page stays until the new one is renamed into its place.
  AtomicOutput out(native, AtomicOutput::Durability::kUnflushed);
  out.write(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  out.commit();
}

bool WritePageFile(std::string_view path, std::string_view text) {
  try {
    writePage(path, text);
    return true;
  } catch (const AutomationError&) {
    return false;
  }
}

}  // namespace bq::client
