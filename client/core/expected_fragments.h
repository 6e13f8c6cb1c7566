// Page fragments as the client writes them, typed out by hand for the
// golden pages of the tests (never taken from the generators).
#pragma once

#include <string>
#include <vector>

namespace bq::client::testsupport {

inline const std::string kChoiceHead =
    "<html><head><title>考试试卷</title></head><body topmargin=0 onload=startclock() "
    "background=images/back01.gif bgcolor=#FFFFFF scroll=no>";
inline const std::string kOtherHead =
    "<html><head><title>考试试卷</title></head><body topmargin=0 onload= startclock() "
    "background=images/back01.gif bgcolor=#FFFFFF scroll=no>";

inline const std::string kExamineeBar =
    "<div align=center><table width=100% cellspacing=0 cellpadding=0><tr><td align=center>"
    "<table width=85% border=4 cellspacing=0 cellpadding=2 bgcolor=#1855C6 bordercolor=#6E8ADE "
    "bordercolordark=#FFFFFF><tr><td colspan=3 align=left>&nbsp;"
    "<font color=#ffffff size=2>准考证号：<u>模拟考生</u></font>&nbsp;&nbsp;"
    "<font color=#ffffff size=2>考生姓名：<u>模拟考生</u></font>&nbsp;&nbsp;"
    "<input Type=button Name=\"tt\" value=\"88:88:88\" style=\"background-color:6E8ADE; "
    "color:#ffffff\">&nbsp;<input type=button name=EndP value=交卷[结束考试] "
    "onclick=\"onlytp()\" style=\"background-color:6E8ADE; color:#ffffff\">"
    "<input type=hidden Name=sysj>";

inline std::string timeValues(int seconds) {
  return "<Script Language=Javascript>sysj.value=" + std::to_string(seconds) + "</script>";
}

inline const std::string kBarRow = "</td></tr><tr><td colspan=1 align=center width=100%>";

inline std::string sectionButton(const std::string& table, const std::string& name) {
  return "<input type=submit Name=cmd onclick=\"load" + table +
         "()\" style=\"background-color:6E8ADE; color:#ffffff\" value=" + name + ">&nbsp;";
}

inline std::string bodyHead(const std::string& heading, const std::string& save) {
  return "</td><tr><tr><td><center><table width=100% border=3 cellspacing=0 cellpadding=2 "
         "bgcolor=#1855C6 bordercolor=#6E8ADE bordercolordark=#FFFFFF><tr><td bgcolor=#EFF3FF "
         "height=expression(document.body.clientHeight-120)><div style=margin:0,0;overflow:auto;"
         "height:expression(document.body.clientHeight-130)><div style=margin:10 10;"
         "line-height:120%;letter-spacing:1pt><center><B>" +
         heading +
         "</B></center><br><center>请选出最符合题目的答案，随时注意"
         "<input type=submit Name=cmd style=\"background-color:6E8ADE; color:#ffffff\" value=\"" +
         save + "\"></center>";
}

inline const std::string kFooter =
    "<div><fieldset style=position:absolute;left:0px;"
    "top:expression(document.body.clientHeight-22);height:22px;"
    "width:expression(document.body.clientWidth-1);background-color:#75AFF6;color:white;"
    "font-family:宋体;font-size:9pt;padding-top:2px;text-align:right;>岚屿克在线考试模拟系统"
    "</fieldset></div>";

// The countdown script with the time-up part of the objective pages or the
// operation pages; `choice` selects the choice page's startclock head.
inline std::string countdown(bool choice, bool operation) {
  std::string s =
      "<SCRIPT language=JavaScript>var timerID = null;var timerRunning = false;"
      "function stopclock (){if(timerRunning)clearTimeout(timerID);timerRunning = false;}"
      "function showtime(){var sec;var lsh=sysj.value;var time1=Math.floor(lsh/60);"
      "if(time1<10){time1=\"0\" +time1}sec=lsh%60;if(sec<10){sec=\"0\"+ sec}"
      "var timeValue = \"剩余时间：\"  + time1 +\"分\"+ sec + \"秒\";"
      "if(tt.value==\"剩余时间：00分00秒\"){";
  if (operation) s += "window.open(\"UpdateSQL.asp\",\"_self\")";
  s += "}sysj.value=sysj.value-1;tt.value=timeValue;"
       "timerID = setTimeout(\"showtime()\",1000);timerRunning = true;}";
  s += choice ? "function startclock (){" : "function startclock () {";
  s += "stopclock();showtime();}function onlytp(){window.open(\"EndTest.asp\",\"_self\")}";
  return s;
}

inline const std::string kSwitchScript =
    "function loadselection(){window.open (\"selection.asp\",\"_self\")}"
    "function loadjudgement(){window.open(\"judgement.asp\",\"_self\")}"
    "function loadtypewrite(){window.open(\"typewrite.asp\",\"_self\")}"
    "function loadoperation(){window.open(\"operation.asp\",\"_self\")}"
    "function loadwordtest(){window.open(\"wordtest.asp\",\"_self\")}"
    "function loadwordtable(){window.open(\"wordtable.asp\",\"_self\")}"
    "function loadexceltest(){window.open (\"excel.asp\",\"_self\")}"
    "function loadpowerpoint(){window.open(\"powerpoint.asp\",\"_self\")}"
    "function loade_mail(){window.open(\"e_mail.asp\",\"_self\")}";

inline const std::string kPageEnd = "</SCRIPT></body></html>";

// Answer-list lines 1..keys.size() (`closing` "</font>" or "</Font>").
inline std::string answerList(const std::vector<std::string>& keys, const std::string& closing) {
  std::string s;
  for (size_t k = 0; k < keys.size(); ++k)
    s += "<br><font size=\"2\" face=\"宋体\">第" + std::to_string(k + 1) + "题答案：" + keys[k] +
         closing;
  return s;
}

}  // namespace bq::client::testsupport
