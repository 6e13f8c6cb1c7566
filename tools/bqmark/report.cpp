#include "tools/bqmark/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <system_error>

#include "common/automation_error.h"
#include "common/files.h"
#include "common/text.h"

namespace bq::mark {
namespace {

namespace fs = std::filesystem;

std::string percentText(double percent) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f", percent);
  return buf;
}

// A score as the library gave it, in the shortest form that reads back the same.
std::string scoreText(double score) { return nlohmann::json(score).dump(); }

std::string html(std::string_view s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out.push_back(c);
    }
  }
  return out;
}

// A text field of the CSV: a spreadsheet would take a text that begins with
// "=", "+", "-" or "@" for a formula (a file name or knowledge point an
// examinee chose), so such a text gets a leading "'".
std::string csvText(std::string_view s) {
  if (!s.empty() && std::string_view("=+-@\t\r").find(s.front()) != std::string_view::npos)
    return "'" + std::string(s);
  return std::string(s);
}

std::string csvField(std::string_view s) {
  if (s.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(s);
  std::string out = "\"";
  for (char c : s) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::string joinLines(const std::vector<std::string>& v) {
  std::string out;
  for (const std::string& s : v) out += (out.empty() ? "" : "\n") + csvText(s);
  return out;
}

// Characters of Range.Text that a page would not show.
std::string visible(std::string_view value) {
  std::string out;
  for (char c : value) {
    switch (c) {
      case '\r':
        out += "↵";
        break;
      case '\a':
        out += "¤";
        break;
      case '\t':
        out += "⇥";
        break;
      case '\v':
        out += "↓";
        break;
      case '\f':
        out += "⤓";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned char>(c));
          out += buf;
        } else {
          out.push_back(c);
        }
    }
  }
  return out;
}

// An id for an HTML anchor: the examinee ID's bytes as hex, so any ID works.
std::string anchorOf(const std::string& examinee) {
  std::string out = "e-";
  char buf[4];
  for (unsigned char c : examinee) {
    std::snprintf(buf, sizeof buf, "%02x", c);
    out += buf;
  }
  return out;
}

// The library's score as a percentage; none when it did not score.
std::optional<double> percentOf(const Mark& m) {
  if (m.score < 0) return std::nullopt;
  return m.score * 100;
}

// The task score as a percentage: an answer not handed in counts 0, a
// question not scored none.
std::optional<double> taskPercentOf(const Mark& m) {
  if (m.taskScore < 0) return std::nullopt;
  if (m.note == kNoteNoFile) return 0.0;
  return m.taskScore * 100;
}

std::optional<double> meanOf(const std::vector<Result>& results,
                             std::optional<double> (*percent)(const Mark&)) {
  double sum = 0;
  int n = 0;
  for (const Result& r : results) {
    if (auto p = percent(r.mark)) {
      sum += *p;
      ++n;
    }
  }
  if (n == 0) return std::nullopt;
  return sum / n;
}

std::string totalText(const std::optional<double>& total) {
  return total ? percentText(*total) : std::string();
}

nlohmann::json totalJson(const std::optional<double>& total) {
  return total ? nlohmann::json(*total) : nlohmann::json();
}

// A percentage cell of the class table, red below 60.
std::string percentCell(const std::optional<double>& p, const char* none) {
  if (!p) return std::string("<span class=\"none\">") + none + "</span>";
  return "<span" + std::string(*p < 60 ? " class=\"low\"" : "") + ">" + percentText(*p) + "</span>";
}

// A list of the page, or nothing for no items.
std::string listHtml(const std::vector<std::string>& items, const char* cls = nullptr) {
  if (items.empty()) return {};
  std::string out = cls ? "<ul class=\"" + std::string(cls) + "\">" : std::string("<ul>");
  for (const std::string& item : items) out += "<li>" + html(item) + "</li>";
  return out + "</ul>";
}

template <typename Words>
std::vector<std::string> wordsOf(Kind kind, const std::vector<std::string>& points, Words words) {
  std::vector<std::string> out;
  for (const std::string& p : points) out.push_back(words(kind, p));
  return out;
}

// A label and its value, when the point is one: "字体名称,黑体" and
// "切换方式:769" (the first "," or ":" parts them).
std::optional<std::pair<std::string, std::string>> labelled(const std::string& point) {
  const size_t cut = point.find_first_of(",:");
  if (cut == std::string::npos) return std::nullopt;
  return std::make_pair(point.substr(0, cut), point.substr(cut + 1));
}

std::string listingItem(const std::string& point) {
  return point.ends_with("\\") ? "文件夹“" + point + "”" : "文件“" + point + "”";
}

// Ten bins of 10 points (the last holds 100) for the histogram.
std::vector<int> histogram(const std::vector<ExamineeMarks>& marks) {
  std::vector<int> bins(10, 0);
  for (const ExamineeMarks& m : marks) {
    if (!m.total) continue;
    const int bin = std::clamp(static_cast<int>(std::floor(*m.total / 10)), 0, 9);
    ++bins[static_cast<size_t>(bin)];
  }
  return bins;
}

std::string histogramSvg(const std::vector<int>& bins) {
  const int maxCount = std::max(1, *std::max_element(bins.begin(), bins.end()));
  const int w = 520, h = 220, left = 40, bottom = 30, barW = 44;
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(w) +
                    "\" height=\"" + std::to_string(h) + "\" role=\"img\" aria-label=\"总分分布\">";
  svg += "<line x1=\"" + std::to_string(left) + "\" y1=\"" + std::to_string(h - bottom) +
         "\" x2=\"" + std::to_string(w - 10) + "\" y2=\"" + std::to_string(h - bottom) +
         "\" stroke=\"#555\"/>";
  for (size_t i = 0; i < bins.size(); ++i) {
    const int x = left + static_cast<int>(i) * (barW + 3);
    const int barH = (h - bottom - 30) * bins[i] / maxCount;
    const int y = h - bottom - barH;
    svg += "<rect class=\"bar\" x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) +
           "\" width=\"" + std::to_string(barW) + "\" height=\"" + std::to_string(barH) +
           "\" fill=\"#3b6fb6\"><title>" + std::to_string(i * 10) + "–" +
           std::to_string(i == 9 ? 100 : i * 10 + 9) + " 分：" + std::to_string(bins[i]) +
           " 人</title></rect>";
    if (bins[i] > 0)
      svg += "<text x=\"" + std::to_string(x + barW / 2) + "\" y=\"" + std::to_string(y - 4) +
             "\" text-anchor=\"middle\" font-size=\"12\">" + std::to_string(bins[i]) + "</text>";
    svg += "<text x=\"" + std::to_string(x + barW / 2) + "\" y=\"" + std::to_string(h - 12) +
           "\" text-anchor=\"middle\" font-size=\"11\">" + std::to_string(i * 10) + "–" +
           std::to_string(i == 9 ? 100 : i * 10 + 9) + "</text>";
  }
  return svg + "</svg>";
}

constexpr const char* kStyle =
    "body{font-family:'WenQuanYi Micro Hei','Microsoft YaHei',sans-serif;margin:24px;color:#222}"
    "h1{font-size:22px}h2{font-size:18px;margin-top:28px}"
    "table{border-collapse:collapse;margin:8px 0}"
    "th,td{border:1px solid #bbb;padding:4px 10px;text-align:left;vertical-align:top}"
    "th{background:#e8eef7}td.num{text-align:right}"
    ".low{color:#b00020}.note{color:#8a5a00}.none{color:#888}"
    ".unstable{font-size:12px;color:#888}"
    ".examinee{display:none}.examinee:target{display:block}"
    "body:has(.examinee:target) #class{display:none}"
    "ul{margin:4px 0;padding-left:20px}";

}  // namespace

std::vector<ExamineeMarks> groupByExaminee(const std::vector<Result>& results) {
  std::vector<ExamineeMarks> out;
  std::map<std::string, size_t> index;
  for (const Result& r : results) {
    auto [it, fresh] = index.emplace(ucase(r.job.examinee), out.size());
    if (fresh) out.push_back({r.job.examinee, r.job.paper, {}, std::nullopt, std::nullopt});
    out[it->second].questions.push_back(r);
  }
  for (ExamineeMarks& m : out) {
    m.total = meanOf(m.questions, taskPercentOf);
    m.libraryTotal = meanOf(m.questions, percentOf);
  }
  return out;
}

std::string plainWords(Kind kind, const std::string& point) {
  if (kind == Kind::kOperation)
    return point.ends_with("\\") ? "应有文件夹“" + point + "”" : "应有文件“" + point + "”";
  if (kind == Kind::kEmail) return "邮件中应有“" + point + "”";
  const size_t cut = point.find_first_of(",:");
  if (cut == std::string::npos) return "应有“" + visible(point) + "”";
  const std::string label = point.substr(0, cut);
  const std::string value = point.substr(cut + 1);
  if (value == "存在") return "应有" + label;
  if (value.empty()) return label + "应为空";
  return label + "应为“" + visible(value) + "”";
}

std::string pointWords(Kind kind, const std::string& point) {
  if (kind == Kind::kOperation) return listingItem(point);
  if (kind == Kind::kEmail) return "“" + point + "”";
  const auto lv = labelled(point);
  if (!lv) return "“" + visible(point) + "”";
  if (lv->second == "存在") return "有" + lv->first;
  if (lv->second.empty()) return lv->first + "为空";
  return lv->first + "为“" + visible(lv->second) + "”";
}

std::string removalWords(Kind kind, const std::string& point) {
  if (kind == Kind::kOperation) return "应删除" + listingItem(point);
  if (kind == Kind::kEmail) return "邮件中不应有“" + point + "”";
  return "应去掉：" + pointWords(kind, point);
}

std::string damageWords(Kind kind, const std::string& point) {
  if (kind == Kind::kOperation) return "原有" + listingItem(point) + "被删除或移走";
  return "原有内容被改动：" + pointWords(kind, point);
}

nlohmann::json reportJson(const std::vector<ExamineeMarks>& marks) {
  nlohmann::json examinees = nlohmann::json::array();
  for (const ExamineeMarks& m : marks) {
    nlohmann::json questions = nlohmann::json::array();
    for (const Result& r : m.questions) {
      nlohmann::json q = {{"topic_id", r.job.question.topicId},
                          {"tpid", r.job.question.tpid},
                          {"kind", infoOf(r.job.kind).name},
                          {"title", infoOf(r.job.kind).title},
                          {"file", r.job.file.filename().string()}};
      q.update(markToJson(r.mark));
      questions.push_back(std::move(q));
    }
    examinees.push_back({{"examinee", m.examinee},
                         {"paper", m.paper},
                         {"total", totalJson(m.total)},
                         {"library_total", totalJson(m.libraryTotal)},
                         {"questions", std::move(questions)}});
  }
  return {{"examinees", std::move(examinees)}, {"histogram", histogram(marks)}};
}

std::string reportCsv(const std::vector<ExamineeMarks>& marks) {
  std::string out =
      "examinee,paper,topic_id,tpid,kind,file,task_score,task_percent,score,percent,matched_count,"
      "missing_count,matched,missing,tasks_done,tasks_missing,not_removed,damaged,unstable,note,"
      "total,library_total\r\n";
  for (const ExamineeMarks& m : marks) {
    for (const Result& r : m.questions) {
      const std::optional<double> p = percentOf(r.mark);
      const std::optional<double> tp = taskPercentOf(r.mark);
      const std::vector<std::string> row = {csvText(m.examinee),
                                            csvText(m.paper),
                                            r.job.question.topicId,
                                            std::to_string(r.job.question.tpid),
                                            std::string(infoOf(r.job.kind).name),
                                            csvText(r.job.file.filename().string()),
                                            scoreText(r.mark.taskScore),
                                            tp ? percentText(*tp) : std::string(),
                                            scoreText(r.mark.score),
                                            p ? percentText(*p) : std::string(),
                                            std::to_string(r.mark.matched.size()),
                                            std::to_string(r.mark.missing.size()),
                                            joinLines(r.mark.matched),
                                            joinLines(r.mark.missing),
                                            joinLines(r.mark.tasksDone),
                                            joinLines(r.mark.tasksMissing),
                                            joinLines(r.mark.notRemoved),
                                            joinLines(r.mark.damaged),
                                            joinLines(r.mark.unstable),
                                            csvText(r.mark.note),
                                            totalText(m.total),
                                            totalText(m.libraryTotal)};
      std::string line;
      for (const std::string& f : row) line += (line.empty() ? "" : ",") + csvField(f);
      out += line + "\r\n";
    }
  }
  return out;
}

std::string reportHtml(const std::vector<ExamineeMarks>& marks, const std::string& title) {
  // The question columns of the class table: every kind that some paper has.
  std::vector<Kind> columns;
  for (const KindInfo& k : kinds()) {
    for (const ExamineeMarks& m : marks)
      for (const Result& r : m.questions)
        if (r.job.kind == k.kind && !r.job.paper.empty() &&
            std::find(columns.begin(), columns.end(), k.kind) == columns.end())
          columns.push_back(k.kind);
  }
  double sum = 0, lo = 101, hi = -1;
  int n = 0;
  for (const ExamineeMarks& m : marks) {
    if (!m.total) continue;
    sum += *m.total;
    lo = std::min(lo, *m.total);
    hi = std::max(hi, *m.total);
    ++n;
  }
  std::string page = "<!DOCTYPE html><html lang=\"zh-CN\"><head><meta charset=\"utf-8\"><title>" +
                     html(title) + "</title><style>" + kStyle + "</style></head><body>";
  page += "<div id=\"class\"><h1>" + html(title) + "</h1>";
  page += "<p>考生 " + std::to_string(marks.size()) + " 人";
  if (n > 0)
    page += "，平均分 " + percentText(sum / n) + "，最高分 " + percentText(hi) + "，最低分 " +
            percentText(lo);
  page += "</p><h2>总分分布</h2>" + histogramSvg(histogram(marks));
  page += "<h2>全班成绩</h2><table id=\"marks\"><tr><th>考生</th><th>试卷</th>";
  for (Kind k : columns) page += "<th>" + html(infoOf(k).title) + "</th>";
  page += "<th>总分</th><th>知识点总分（库）</th></tr>";
  for (const ExamineeMarks& m : marks) {
    page += "<tr><td><a href=\"#" + anchorOf(m.examinee) + "\">" + html(m.examinee) +
            "</a></td><td>" + (m.paper.empty() ? "<span class=\"none\">无</span>" : html(m.paper)) +
            "</td>";
    for (Kind k : columns) {
      std::string cell = "<span class=\"none\">—</span>";
      for (const Result& r : m.questions) {
        if (r.job.kind != k) continue;
        cell = percentCell(taskPercentOf(r.mark), "未评分");
        if (!r.mark.note.empty()) cell += " <span class=\"note\">*</span>";
      }
      page += "<td class=\"num\">" + cell + "</td>";
    }
    page += std::string("<td class=\"num total") + (m.total && *m.total < 60 ? " low" : "") +
            "\">" + (m.total ? percentText(*m.total) : std::string("—")) + "</td>";
    page += "<td class=\"num library\">" +
            (m.libraryTotal ? percentText(*m.libraryTotal) : std::string("—")) + "</td></tr>";
  }
  page += "</table><p class=\"note\">* 有备注，见考生页。</p></div>";

  for (const ExamineeMarks& m : marks) {
    page += "<section class=\"examinee\" id=\"" + anchorOf(m.examinee) +
            "\"><p><a href=\"#\">← 返回全班成绩</a></p><h1>考生 " + html(m.examinee) +
            "</h1><p>试卷 " + (m.paper.empty() ? "无" : html(m.paper)) + "，总分 " +
            (m.total ? percentText(*m.total) : std::string("—")) + "，知识点总分（库） " +
            (m.libraryTotal ? percentText(*m.libraryTotal) : std::string("—")) + "</p>";
    page +=
        "<table><tr><th>题目</th><th>答卷</th><th>得分</th><th>知识点得分（库）</th><th>已完成</"
        "th><th>尚未做到</th><th>备注</th></tr>";
    for (const Result& r : m.questions) {
      const Mark& mark = r.mark;
      const std::optional<double> tp = taskPercentOf(mark);
      const std::optional<double> p = percentOf(mark);
      // Tasks and removals both count as what the question asks.
      const size_t done = mark.tasksDone.size() + mark.removed.size();
      const size_t asked = done + mark.tasksMissing.size() + mark.notRemoved.size();
      page +=
          "<tr><td>" + html(infoOf(r.job.kind).title) + "</td><td>" +
          html(r.job.file.filename().string()) + "</td><td class=\"num\">" +
          (tp ? percentText(*tp) : std::string("—")) + "</td><td class=\"num\">" +
          (p ? percentText(*p) : std::string("—")) + "</td><td class=\"num\">" +
          (asked > 0 ? std::to_string(done) + " / " + std::to_string(asked) : std::string("—")) +
          "</td><td>";
      std::vector<std::string> todo = wordsOf(r.job.kind, mark.tasksMissing, plainWords);
      for (std::string& w : wordsOf(r.job.kind, mark.notRemoved, removalWords))
        todo.push_back(std::move(w));
      for (std::string& w : wordsOf(r.job.kind, mark.damaged, damageWords))
        todo.push_back(std::move(w));
      page += listHtml(todo);
      if (!mark.unstable.empty()) {
        page += "<p class=\"unstable\">未评分（LibreOffice 保存时会改变）：</p>";
        page += listHtml(wordsOf(r.job.kind, mark.unstable, pointWords), "unstable");
      }
      page += "</td><td class=\"note\">" + html(mark.note) + "</td></tr>";
    }
    page += "</table></section>";
  }
  return page + "</body></html>\n";
}

void writeReports(const fs::path& folder, const std::vector<Result>& results,
                  const std::string& title) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  const std::vector<ExamineeMarks> marks = groupByExaminee(results);
  auto write = [&](const char* name, const std::string& text) {
    AtomicOutput out(folder / name);
    out.write(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    out.commit();
  };
  write("marks.csv", reportCsv(marks));
  write("marks.json",
        reportJson(marks).dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n");
  write("report.html", reportHtml(marks, title));
}

}  // namespace bq::mark
