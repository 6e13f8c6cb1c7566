#include "client/core/objective_pages.h"

#include <algorithm>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "client/core/exam_queries.h"
#include "client/core/page_frame.h"
#include "common/text.h"

namespace bq::client {
namespace {

void append(std::string& page, std::initializer_list<std::string_view> fragments) {
  for (std::string_view f : fragments) page += f;
}

// The scrolling question area with its heading and save button.
void appendBodyHead(std::string& page, std::string_view heading, std::string_view saveButton) {
  append(page, {"</td>", "<tr>", "<tr>", "<td><center>",
                "<table width=100% border=3 cellspacing=0 cellpadding=2 bgcolor=#1855C6 "
                "bordercolor=#6E8ADE bordercolordark=#FFFFFF>",
                "<tr>", "<td bgcolor=#EFF3FF height=expression(document.body.clientHeight-120)>",
                "<div style=margin:0,0;overflow:auto;height:expression(document.body.clientHeight-"
                "130)>",
                "<div style=margin:10 10;line-height:120%;letter-spacing:1pt>", heading,
                "<br><center>请选出最符合题目的答案，随时注意", saveButton});
}

// The question line of question `n`; records `key` as its correct answer when
// the question has a text.
void appendQuestionLine(std::string& page, int n, const std::string& tg, const std::string& answer,
                        const std::string& key, std::vector<std::string>& answerKey) {
  const std::string number = std::to_string(n);
  if (!trimSpaces(tg).empty()) {
    const std::string_view colour =
        trimSpaces(answer).empty() ? "<font size=2 color=0000ff>" : "<font size=2 color=000000>";
    const size_t index = static_cast<size_t>(n - 1);
    if (answerKey.size() <= index) answerKey.resize(index + 1);
    answerKey[index] = key;
    append(page, {"<br><font size=\"2\" face=\"宋体\">第", number, "题: ", colour, tg, "</font>",
                  "</font>"});
  } else {
    append(page, {"<br>第", number, "题：", tg});
  }
}

// One line per entry of the key, at least 20 and at least one per question.
void appendAnswerList(std::string& page, std::vector<std::string>& answerKey, int questions,
                      std::string_view closing) {
  const size_t lines = std::max(kAnswerKeyEntries, static_cast<size_t>(questions));
  if (answerKey.size() < lines) answerKey.resize(lines);
  for (size_t k = 0; k < lines; ++k)
    append(page, {"<br><font size=\"2\" face=\"宋体\">第", std::to_string(k + 1), "题答案：",
                  answerKey[k], closing});
}

}  // namespace

std::string ChoicePageText(AppValues& app) {
  std::string page;
  appendFrameTop(page, PageKind::kChoice, app);
  appendBodyHead(page, "<center><B>选 择 题</B></center>",
                 "<input type=submit Name=cmd style=\"background-color:6E8ADE; color:#ffffff\" "
                 "value=\"保存选择题\"></center>");
  db::Recordset rs = openChoiceQuestions(app.ExamConnection, app.CardNumber);
  int n = 0;
  for (; !rs.Eof(); rs.MoveNext()) {
    ++n;
    const std::string number = std::to_string(n);
    append(page, {"<a name=\"topic01_", number, "\"></a>"});
    const std::string tg = columnText(rs, "tg");
    const std::string answer = columnText(rs, "answer");
    const std::string tpid = columnText(rs, "tpid");
    // The correct answer is read only for a question with a text, the one that records it.
    const std::string key = trimSpaces(tg).empty() ? std::string() : ucase(columnText(rs, "da"));
    appendQuestionLine(page, n, tg, answer, key, app.ChoiceAnswerKey);
    const std::string_view inputType =
        trimSpaces(columnText(rs, "tmlx")) == "1" ? "\"Radio\"" : "\"CheckBox\"";
    for (char letter = 'A'; letter <= 'F'; ++letter) {
      const std::string upper(1, letter);
      const std::string option = columnText(rs, "xz" + upper);
      if (trimSpaces(option).empty()) continue;
      const char lower = static_cast<char>(letter - 'A' + 'a');
      const bool checked = answer.find(lower) != std::string::npos;
      append(page, {"<br>&nbsp;<input type=", inputType,
                    checked ? " checked value=" : "value=", tpid, upper, " name=xz", number,
                    "><font size=\"2\" face=\"宋体\">", upper, "、", option, "</font>"});
    }
    page += "<br>";
  }
  rs.Close();
  appendAnswerList(page, app.ChoiceAnswerKey, n, "</font>");
  page += "</tr>";
  appendFrameBottom(page, PageKind::kChoice, kObjectiveTimeUp);
  return page;
}

std::string TrueFalsePageText(AppValues& app) {
  std::string page;
  appendFrameTop(page, PageKind::kTrueFalse, app);
  appendBodyHead(page, "<center><B>判 断 题</B></center>",
                 "<input type=submit Name=cmd style=\"background-color:6E8ADE; color:#ffffff\" "
                 "value=\"保存判断题\"></center>");
  db::Recordset rs = openTrueFalseQuestions(app.ExamConnection, app.CardNumber);
  int n = 0;
  for (; !rs.Eof(); rs.MoveNext()) {
    ++n;
    const std::string number = std::to_string(n);
    append(page, {"<a name=\"topic02_", number, "\"></a>"});
    const std::string tg = columnText(rs, "tg");
    const std::string answer = columnText(rs, "answer");
    const std::string tpid = columnText(rs, "tpid");
    const std::string key = columnText(rs, "da") == "0" ? "错" : "对";
    appendQuestionLine(page, n, tg, answer, key, app.TrueFalseAnswerKey);
    for (int k = 0; k <= 1; ++k) {
      const std::string digit = std::to_string(k);
      const bool checked = answer.find(digit) != std::string::npos;
      append(page, {checked ? "<br>&nbsp;<input type=Radio checked value="
                            : "<br>&nbsp;<input type=Radio value=",
                    tpid, digit, " name=pd", number, "><font size=\"2\" face=\"宋体\">",
                    k == 0 ? "错" : "对", "</font>"});
    }
  }
  rs.Close();
  page += "<br>";
  appendAnswerList(page, app.TrueFalseAnswerKey, n, "</Font>");
  page += "</tr>";
  appendFrameBottom(page, PageKind::kTrueFalse, kObjectiveTimeUp);
  return page;
}

bool BuildChoicePage(AppValues& app) {
  const std::string page = ChoicePageText(app);
  writePage(app.AppFolder + "\\selection.asp", page);
  return true;
}

bool BuildTrueFalsePage(AppValues& app) {
  const std::string page = TrueFalsePageText(app);
  writePage(app.AppFolder + "\\judgement.asp", page);
  return true;
}

}  // namespace bq::client
