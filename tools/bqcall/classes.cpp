// The classes and methods that bqcall can call. Every method of the libraries
// is bound here, with its parameters as the type library names them.

#include <algorithm>
#include <cctype>
#include <optional>

#include "BrightquillCom/brightquill_client.h"
#include "tools/bqcall/binding.h"
#include "tools/bqcall/json_args.h"
#include "webcom/bqcom.h"

namespace bqcall {
namespace {

bool sameName(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return std::tolower(static_cast<unsigned char>(x)) ==
                                                std::tolower(static_cast<unsigned char>(y)); });
}

Param text(std::string name) { return {std::move(name), Kind::kText}; }
Param textRef(std::string name) { return {std::move(name), Kind::kText, true}; }
Param dict(std::string name) { return {std::move(name), Kind::kDictionary}; }
Param dictRef(std::string name) { return {std::move(name), Kind::kDictionary, true}; }
Param optionalText(std::string name) { return {std::move(name), Kind::kText, false, true}; }

json asJson(const std::string& s) { return s; }
template <typename V>
json asJson(const V& v) {
  return toJson(v);
}

// Runs `body`, which may change the by-reference `value`, and stores the value
// it leaves under `name`, whether the call succeeds or fails.
template <typename V, typename F>
json withOut(Call& c, const char* name, V& value, F&& body) {
  try {
    body();
  } catch (...) {
    c.outs[name] = asJson(value);
    throw;
  }
  c.outs[name] = asJson(value);
  return json();
}

// Builds the method table of class T.
template <typename T>
class Methods {
 public:
  using Body = std::function<json(T&, Call&, const std::vector<Param>&)>;

  Methods& add(std::string name, std::vector<Param> params, std::string result, Body body) {
    auto invoke = [body = std::move(body), params](ObjectBase& o, Call& c) {
      return body(static_cast<Object<T>&>(o).self, c, params);
    };
    methods_.push_back({std::move(name), std::move(params), std::move(result), std::move(invoke)});
    return *this;
  }

  ClassBinding done(std::string name, std::string progId) {
    return {std::move(name), std::move(progId), [] { return std::make_unique<Object<T>>(); },
            std::move(methods_)};
  }

 private:
  std::vector<MethodBinding> methods_;
};

ClassBinding brightquillClient() {
  using bq::BrightquillClient;
  Methods<BrightquillClient> m;
  m.add("GetOperationZSD", {text("cPath"), dictRef("dZSD")}, "empty",
        [](BrightquillClient& o, Call& c, const auto& p) {
          auto d = toKnowledgeSet(c, 1, p[1]);
          return withOut(c, "dZSD", d, [&] { o.GetOperationZSD(toText(c, 0, p[0]), d); });
        });
  m.add("GetOpZSDFromFile", {text("cFile"), textRef("cZSD")}, "empty",
        [](BrightquillClient& o, Call& c, const auto& p) {
          std::string z = toText(c, 1, p[1]);
          return withOut(c, "cZSD", z, [&] { o.GetOpZSDFromFile(toText(c, 0, p[0]), z); });
        });
  m.add("JoinOpZSD", {dict("d")}, "text", [](BrightquillClient& o, Call& c, const auto& p) {
    return json(o.JoinOpZSD(toKnowledgeSet(c, 0, p[0])));
  });
  m.add("SplitOpZSD", {text("s"), dictRef("d")}, "empty",
        [](BrightquillClient& o, Call& c, const auto& p) {
          auto d = toKnowledgeSet(c, 1, p[1]);
          return withOut(c, "d", d, [&] { o.SplitOpZSD(toText(c, 0, p[0]), d); });
        });
  m.add("GetOpScore", {text("cZSD"), text("cSome")}, "double",
        [](BrightquillClient& o, Call& c, const auto& p) {
          return json(o.GetOpScore(toText(c, 0, p[0]), toText(c, 1, p[1])));
        });
  m.add("ReadExcel", {text("cFile"), dictRef("dObj"), optionalText("cTbl")}, "empty",
        [](BrightquillClient& o, Call& c, const auto& p) {
          auto d = toKnowledgeSet(c, 1, p[1]);
          std::optional<std::string> tbl;
          if (c.has(2)) tbl = toText(c, 2, p[2]);
          return withOut(c, "dObj", d, [&] { o.ReadExcel(toText(c, 0, p[0]), d, tbl); });
        });
  m.add("GetExcelScore",
        {text("cFunc"), dictRef("oZSD"), text("cFN"), dictRef("d1"), dictRef("d2"),
         optionalText("cSheet")},
        "double", [](BrightquillClient& o, Call& c, const auto& p) {
          auto zsd = toKnowledgeSet(c, 1, p[1]);
          auto d1 = toKnowledgeSet(c, 3, p[3]);
          auto d2 = toKnowledgeSet(c, 4, p[4]);
          std::optional<std::string> sheet;
          if (c.has(5)) sheet = toText(c, 5, p[5]);
          double score = 0;
          auto keepAll = [&] {
            c.outs["oZSD"] = toJson(zsd);
            c.outs["d1"] = toJson(d1);
            c.outs["d2"] = toJson(d2);
          };
          try {
            score = o.GetExcelScore(toText(c, 0, p[0]), zsd, toText(c, 2, p[2]), d1, d2, sheet);
          } catch (...) {
            keepAll();
            throw;
          }
          keepAll();
          return json(score);
        });
  m.add("GetMailZSDFromPath", {text("cPath"), dictRef("d")}, "empty",
        [](BrightquillClient& o, Call& c, const auto& p) {
          auto d = toMailDictionary(c, 1, p[1]);
          return withOut(c, "d", d, [&] { o.GetMailZSDFromPath(toText(c, 0, p[0]), d); });
        });
  m.add("GetOleData", {{"rst", Kind::kRecordset}, text("cFile"), text("cFld")}, "boolean",
        [](BrightquillClient& o, Call& c, const auto& p) {
          OpenRecordset rst = toRecordset(c, 0, p[0]);
          return json(o.GetOleData(rst.recordset, toText(c, 1, p[1]), toText(c, 2, p[2])));
        });
  m.add("SetConnStr", {text("cn"), {"bMdb", Kind::kBool}}, "empty",
        [](BrightquillClient& o, Call& c, const auto& p) {
          o.SetConnStr(toText(c, 0, p[0]), toBool(c, 1, p[1]));
          return json();
        });
  // Every parameter of DbBackup is passed by reference; none is changed, but
  // the picture controls bring back what was drawn on them.
  m.add("DbBackup",
        {{"DoingPic", Kind::kPicture, true},
         {"SubDoingPic", Kind::kPicture, true},
         {"aTbl", Kind::kArray, true},
         textRef("cFile"),
         {"cWhere", Kind::kText, true, true},
         {"bDel", Kind::kBool, true, true}},
        "empty", [](BrightquillClient& o, Call& c, const auto& p) {
          PictureArgument doing = toPicture(c, 0, p[0]), sub = toPicture(c, 1, p[1]);
          const std::vector<std::string> tables = toTextArray(c, 2, p[2]);
          const std::string file = toText(c, 3, p[3]), where = toText(c, 4, p[4]);
          const bool del = toBool(c, 5, p[5]);
          auto keep = [&] {
            c.outs["DoingPic"] = doing.after();
            c.outs["SubDoingPic"] = sub.after();
            c.outs["aTbl"] = toJson(tables);
            c.outs["cFile"] = file;
            c.outs["cWhere"] = where;
            c.outs["bDel"] = del;
          };
          try {
            o.DbBackup(doing.canvas.get(), sub.canvas.get(), tables, file, where, del);
          } catch (...) {
            keep();
            throw;
          }
          keep();
          return json();
        });
  m.add("DbRestore",
        {{"DoingPic", Kind::kPicture, true},
         {"SubDoingPic", Kind::kPicture, true},
         {"aTbl", Kind::kArray, true},
         text("cFile"),
         {"cWhere", Kind::kText, false, true},
         {"bDelNotAllowed", Kind::kBool, false, true},
         {"aSel1", Kind::kArray, true, true},
         {"aSel2", Kind::kArray, true, true}},
        "empty", [](BrightquillClient& o, Call& c, const auto& p) {
          PictureArgument doing = toPicture(c, 0, p[0]), sub = toPicture(c, 1, p[1]);
          const std::vector<std::string> tables = toTextArray(c, 2, p[2]);
          const auto sel1 = toOptionalTextArray(c, 6, p[6]);
          const auto sel2 = toOptionalTextArray(c, 7, p[7]);
          auto keep = [&] {
            c.outs["DoingPic"] = doing.after();
            c.outs["SubDoingPic"] = sub.after();
            c.outs["aTbl"] = toJson(tables);
            c.outs["aSel1"] = sel1 ? toJson(*sel1) : json();
            c.outs["aSel2"] = sel2 ? toJson(*sel2) : json();
          };
          try {
            o.DbRestore(doing.canvas.get(), sub.canvas.get(), tables, toText(c, 3, p[3]),
                        toText(c, 4, p[4]), toBool(c, 5, p[5]), sel1, sel2);
          } catch (...) {
            keep();
            throw;
          }
          keep();
          return json();
        });
  return m.done("BrightquillClient", BrightquillClient::kProgId);
}

ClassBinding bqcom() {
  using bq::BQCOM;
  Methods<BQCOM> m;
  m.add("CreateOpDirs", {text("cPath"), text("cZSD")}, "empty",
        [](BQCOM& o, Call& c, const auto& p) {
          o.CreateOpDirs(toText(c, 0, p[0]), toText(c, 1, p[1]));
          return json();
        });
  // FileDownLoad and FileUpLoad: six texts by reference, all reported after the call.
  auto transfer = [](void (BQCOM::*method)(std::string&, std::string&, std::string&, std::string&,
                                           std::string&, std::string&)) {
    return [method](BQCOM& o, Call& c, const auto& p) {
      std::vector<std::string> v;
      for (size_t i = 0; i < 6; ++i) v.push_back(toText(c, i, p[i]));
      auto keepAll = [&] {
        for (size_t i = 0; i < 6; ++i) c.outs[p[i].name] = v[i];
      };
      try {
        (o.*method)(v[0], v[1], v[2], v[3], v[4], v[5]);
      } catch (...) {
        keepAll();
        throw;
      }
      keepAll();
      return json();
    };
  };
  const std::vector<Param> transferParams = {textRef("cIP"),     textRef("cPort"),
                                             textRef("cServer"), textRef("cClient"),
                                             textRef("cID"),     textRef("cFlag")};
  m.add("FileDownLoad", transferParams, "empty", transfer(&BQCOM::FileDownLoad));
  m.add("FileUpLoad", transferParams, "empty", transfer(&BQCOM::FileUpLoad));
  m.add("PreTest", {text("cPath")}, "empty", [](BQCOM& o, Call& c, const auto& p) {
    o.PreTest(toText(c, 0, p[0]));
    return json();
  });
  m.add("EndTest", {text("cPath")}, "empty", [](BQCOM& o, Call& c, const auto& p) {
    o.EndTest(toText(c, 0, p[0]));
    return json();
  });
  m.add("QuestionPane", {text("tg")}, "empty", [](BQCOM& o, Call& c, const auto& p) {
    o.QuestionPane(toText(c, 0, p[0]));
    return json();
  });
  m.add("TermProc", {}, "empty", [](BQCOM& o, Call&, const auto&) {
    o.TermProc();
    return json();
  });
  return m.done("BQCOM", BQCOM::kProgId);
}

}  // namespace

const MethodBinding* ClassBinding::findMethod(const std::string& method) const {
  for (const auto& m : methods)
    if (sameName(m.name, method)) return &m;
  return nullptr;
}

const std::vector<ClassBinding>& allClasses() {
  static const std::vector<ClassBinding> classes = {brightquillClient(), bqcom()};
  return classes;
}

const ClassBinding* findClass(const std::string& name) {
  for (const auto& c : allClasses())
    if (sameName(c.name, name) || sameName(c.progId, name)) return &c;
  return nullptr;
}

}  // namespace bqcall
