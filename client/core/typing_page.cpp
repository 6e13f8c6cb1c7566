#include "client/core/typing_page.h"

#include <initializer_list>

#include "client/core/exam_queries.h"
#include "client/core/page_frame.h"
#include "common/text.h"

namespace bq::client {
namespace {

void append(std::string& page, std::initializer_list<std::string_view> fragments) {
  for (std::string_view f : fragments) page += f;
}

// The countdown script's part after the exam time text is formed: counts both
// clocks down, shows them, and hides the entry area when the typing time is up.
constexpr std::string_view kTypingTimeUp =
    "sysj.value=sysj.value-1;"
    "tt.value=timeValue;"
    "var sec1;"
    "var lsh1=hzsj.value;"
    "var time2=Math.floor(lsh1/60);"
    "if(time2<10){"
    "time2=\"0\" +time2}"
    "sec1=lsh1%60;"
    "if(sec1<10){"
    "sec1=\"0\"+ sec1}"
    "var timeValue1 = \"汉字录入剩余时间：\"  + time2 +\"分\"+ sec1 + \"秒\";"
    "hzsj.value=hzsj.value-1;"
    "hz.value=timeValue1;"
    "if(tt.value==\"剩余时间：00分00秒\"){"
    "}"
    "if(hz.value==\"汉字录入剩余时间：00分00秒\"){"
    // By name, typewrite_write would also find the read-only text box; only
    // the division with that id is the entry area.
    "for(var i=0,d=document.getElementsByTagName(\"div\");i<d.length;i++)"
    "{if(d[i].id==\"typewrite_write\")d[i].style.display=\"none\";}"
    "hzsj.value=0;"
    "hz.value=\"汉字录入时间已到!\"}";

}  // namespace

std::optional<std::string> TypingPageText(const AppValues& app) {
  std::string page;
  appendFrameTop(page, PageKind::kTyping, app);
  append(page, {"</td>", "</tr>"});

  db::Recordset rs = openTypingQuestions(app.ExamConnection, app.CardNumber);
  if (rs.Eof()) return std::nullopt;
  const std::string question = trimSpaces(columnText(rs, "tg"));
  const std::string answer = trimSpaces(columnText(rs, "answer"));
  rs.Close();

  append(page, {"<tr>",
                "<td bgcolor=#EFF3FF height=expression(document.body.clientHeight-120)>",
                "<B><Br><center>中 文 录 入</center></B>",
                "<br><center>请随时注意",
                "<input type=submit Name=cmd style=\"background-color:6E8ADE; color:#ffffff\" "
                "value=\"保存录入题\"></center>",
                "<br>",
                "<form name='stestform' method='post'>",
                "<center><div id=typewrite_answer>",
                "<center><textarea name=typewrite_write readonly cols=75 rows=6> ",
                question,
                "</textarea></center>",
                "</div></center>",
                "<div id=typewrite_write>",
                "<center><textarea name=typetext font color=#8080ff cols=75 rows=5> ",
                answer,
                " </textarea></center>",
                "</div></form>",
                "<center><input type=button Name=\"hz\" value=\"88:88:88\" "
                "style=\"background-color:6E8ADE; color:#ffffff\"></center>",
                "<br>",
                "<br>",
                "<br>",
                "</tr>"});
  appendFrameBottom(page, PageKind::kTyping, kTypingTimeUp);
  return page;
}

bool BuildTypingPage(const AppValues& app) {
  const std::optional<std::string> page = TypingPageText(app);
  if (!page) return false;
  writePage(app.AppFolder + "\\typewrite.asp", *page);
  return true;
}

}  // namespace bq::client
