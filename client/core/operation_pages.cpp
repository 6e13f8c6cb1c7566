#include "client/core/operation_pages.h"

#include <array>
#include <initializer_list>

#include "client/core/exam_queries.h"
#include "client/core/page_frame.h"
#include "common/automation_error.h"
#include "common/text.h"

namespace bq::client {
namespace {

constexpr std::array<OperationTopic, 6> kOperationTopics{{
    {"05", "计算机操作题", "operation.asp"},
    {"06", "WORD编辑题", "wordtest.asp"},
    {"07", "WORD制表题", "wordtable.asp"},
    {"08", "EXCEL操作题", "excel.asp"},
    {"10", "EMAIL操作题", "e_mail.asp"},
    {"11", "课件制作题", "powerpoint.asp"},
}};

void append(std::string& page, std::initializer_list<std::string_view> fragments) {
  for (std::string_view f : fragments) page += f;
}

const OperationTopic& requireOperationTopic(std::string_view code) {
  const OperationTopic* topic = findOperationTopic(code);
  if (topic == nullptr)
    throw AutomationError(err::kInvalidCall, "BqTestMy",
                          "'" + std::string(code) + "' is not the code of an operation topic.");
  return *topic;
}

}  // namespace

std::span<const OperationTopic> operationTopics() { return kOperationTopics; }

const OperationTopic* findOperationTopic(std::string_view code) {
  for (const OperationTopic& topic : kOperationTopics)
    if (topic.code == code) return &topic;
  return nullptr;
}

std::optional<std::string> OperationPageText(const AppValues& app, std::string_view heading,
                                             std::string_view code) {
  requireOperationTopic(code);
  std::string page;
  appendFrameTop(page, PageKind::kOperation, app);
  append(page, {"</td>", "</tr>", "<tr>",
                "<td bgcolor=#EFF3FF height=expression(document.body.clientHeight-120)>", "<br>",
                "<center><B>", heading, "</B></center>"});

  // A code without a topics row leaves the table name empty, which the
  // question query refuses.
  std::string table;
  db::Recordset topics = openTopicTable(app.ExamConnection, code);
  if (!topics.Eof()) table = trimSpaces(columnText(topics, "topic_table"));
  topics.Close();

  db::Recordset rs = openSectionQuestions(app.ExamConnection, table, app.CardNumber, code);
  if (rs.Eof()) return std::nullopt;
  const std::string question = trimSpaces(columnText(rs, "tg"));
  rs.Close();

  append(page, {"<br>", "<table align=center width=600 border=1>", "<tr>", "<td colspan=3>",
                "<textarea cols=85 rows=12>", question, "</textarea>", "</td>", "</tr>", "</table>",
                "<br>", "&nbsp;&nbsp;&nbsp;&nbsp;<img src=\"images/hand.gif\">",
                "<input type=Button name=cmd value=请点击打开 style=\"background-color:6E8ADE; "
                "color:#ffffff\">"});
  for (int i = 0; i < 8; ++i) page += "<br>";
  appendFrameBottom(page, PageKind::kOperation, kOperationTimeUp);
  return page;
}

bool BuildOperationPage(const AppValues& app, std::string_view heading, std::string_view code) {
  const OperationTopic& topic = requireOperationTopic(code);
  const std::optional<std::string> page = OperationPageText(app, heading, code);
  if (!page) return false;
  writePage(app.AppFolder + "\\" + std::string(topic.pageFile), *page);
  return true;
}

}  // namespace bq::client
