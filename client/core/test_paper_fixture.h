// A small exam paper in a plain SQLite database, for the client core's tests.
//
// Card "bq1" (stored as "BQ1"): three choice questions, two true/false
// questions, one typing question and one Excel question. Card "bq2": one
// typing question. Card "bq3": a typing question with a stored answer, a
// file-operation question, two Word-editing questions, an Excel question and
// an e-mail question. Texts hold quotes, "<", "&" and Chinese characters.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "client/core/app_values.h"
#include "platform/db/connection.h"
#include "platform/db/testing/db_test_support.h"

namespace bq::client::testsupport {

class PaperFixture {
 public:
  PaperFixture() {
    const auto file = folder_ / "paper.sqlite";
    std::ofstream(file).close();  // an empty file is an empty SQLite database
    app.AppFolder = folder_.path().string();
    app.CardNumber = "bq1";
    app.ExamSecondsLeft = 125;
    app.ExamConnection.Open("Provider=SQLite;Data Source=" + file.string() + ";");
    createTables();
    fill();
  }

  void insert(const std::string& sql, const std::vector<Variant>& values) {
    app.ExamConnection.Execute(sql, values);
  }
  void addTopic(const std::string& code, const std::string& name, const std::string& table) {
    insert("INSERT INTO topics VALUES (?, ?, ?)", {code, name, table});
  }
  void addPaperRow(const std::string& uid, const std::string& code, int32_t tpid,
                   const std::string& answer) {
    insert("INSERT INTO test_paper VALUES (?, ?, ?, ?)", {uid, code, tpid, answer});
  }
  void addChoice(int32_t id, const std::string& tg, const std::vector<std::string>& options,
                 const std::string& da, const std::string& tmlx) {
    std::vector<Variant> v{id, tg};
    for (const auto& o : options) v.emplace_back(o);
    v.emplace_back(da);
    v.emplace_back(tmlx);
    insert("INSERT INTO selection VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", v);
  }
  void addTrueFalse(int32_t id, const std::string& tg, const std::string& da) {
    insert("INSERT INTO judgement VALUES (?, ?, ?)", {id, tg, da});
  }

  std::string path(const std::string& name) const { return (folder_ / name).string(); }

  AppValues app;

 private:
  void createTables() {
    using namespace db;
    Connection& c = app.ExamConnection;
    c.createTable("topics", {{"topic_id", adVarWChar, 2},
                             {"topic_name", adVarWChar, 50},
                             {"topic_table", adVarWChar, 50}});
    c.createTable("test_paper", {{"uid", adVarWChar, 10},
                                 {"topic_id", adVarWChar, 2},
                                 {"tpid", adInteger},
                                 {"answer", adLongVarWChar}});
    c.createTable("selection", {{"id", adInteger},
                                {"tg", adLongVarWChar},
                                {"xzA", adVarWChar},
                                {"xzB", adVarWChar},
                                {"xzC", adVarWChar},
                                {"xzD", adVarWChar},
                                {"xzE", adVarWChar},
                                {"xzF", adVarWChar},
                                {"da", adVarWChar, 6},
                                {"tmlx", adVarWChar, 1}});
    c.createTable("judgement", {{"id", adInteger}, {"tg", adLongVarWChar}, {"da", adVarWChar, 1}});
    c.createTable("typewrite", {{"id", adInteger}, {"tg", adLongVarWChar}});
    c.createTable("exceltest",
                  {{"id", adInteger}, {"tg", adLongVarWChar}, {"fj", adLongVarBinary}});
    c.createTable("Operation",
                  {{"id", adInteger}, {"Question", adLongVarWChar}, {"tg", adLongVarWChar}});
    for (const char* table : {"wordtest", "wordtable", "powerpoint"})
      c.createTable(table, {{"id", adInteger}, {"tg", adLongVarWChar}, {"fj", adLongVarBinary}});
    c.createTable("E_mail", {{"id", adInteger}, {"tg", adLongVarWChar}});
  }

  void fill() {
    addTopic("01", "选择题", "selection");
    addTopic("02", "判断题", "judgement");
    addTopic("04", "中文录入", "typewrite");
    addTopic("05", "计算机操作", "operation");
    addTopic("08", "Excel操作", "exceltest");

    addChoice(11, "CPU 的 \"作用\" 是<什么>？", {"运算 & 控制", "<存储>", "输入", "", "", ""}, "a",
              "1");
    addChoice(12, " ", {"是", "否", "", "", "", ""}, "b", "1");
    addChoice(13, "下列 'A&B' 中正确的是", {"甲", "", "丙", "丁", "", "己"}, "acf", "2");
    addChoice(14, "不在试卷中的题", {"x", "y", "", "", "", ""}, "a", "1");
    addPaperRow("BQ1", "01", 11, "a");
    addPaperRow("BQ1", "01", 12, "AB");
    addPaperRow("BQ1", "01", 13, "ac");

    addTrueFalse(21, "地球是<圆>的 & \"对\"", "1");
    addTrueFalse(22, "一个字节由16个二进制位组成。", "0");
    addPaperRow("BQ1", "02", 21, "1");
    addPaperRow("BQ1", "02", 22, "");

    insert("INSERT INTO typewrite VALUES (?, ?)", {int32_t{31}, std::string("录入")});
    addPaperRow("BQ1", "04", 31, "");
    addPaperRow("bq2", "04", 31, "");
    insert("INSERT INTO exceltest VALUES (?, ?, ?)", {int32_t{41}, std::string("表格"), Null{}});
    addPaperRow("BQ1", "08", 41, "");

    addTopic("06", "Word编辑", "wordtest");
    addTopic("10", "电子邮件", "e_mail");
    insert("INSERT INTO typewrite VALUES (?, ?)",
           {int32_t{32}, std::string("  春眠不觉晓，\"处处\"闻啼鸟 <夜来> & 风雨声  ")});
    addPaperRow("bq3", "04", 32, "  春眠  ");
    insert("INSERT INTO Operation VALUES (?, ?, ?)",
           {int32_t{51}, std::string("KS\\,KS\\A.TXT"),
            std::string(" 在 \"KS\" 文件夹中建立 <A.TXT> & <B> ")});
    addPaperRow("bq3", "05", 51, "");
    insert("INSERT INTO wordtest VALUES (?, ?, ?)",
           {int32_t{61}, std::string("将标题设为\"黑体\" & 居中 <h1>"), Null{}});
    insert("INSERT INTO wordtest VALUES (?, ?, ?)", {int32_t{62}, std::string("第二题"), Null{}});
    addPaperRow("bq3", "06", 61, "");
    addPaperRow("bq3", "06", 62, "");
    insert("INSERT INTO exceltest VALUES (?, ?, ?)",
           {int32_t{42}, std::string("求和 A1&B1"), Null{}});
    addPaperRow("bq3", "08", 42, "");
    insert("INSERT INTO E_mail VALUES (?, ?)",
           {int32_t{101}, std::string("给 \"张三\" <zs@example.com> 发信 & 抄送")});
    addPaperRow("bq3", "10", 101, "");
  }

  db::dbtest::TempFolder folder_;
};

}  // namespace bq::client::testsupport
