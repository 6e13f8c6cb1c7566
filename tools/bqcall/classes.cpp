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
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
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
  m.add("ReadWord", {text("cFile"), dictRef("dObj")}, "empty",
        [](BrightquillClient& o, Call& c, const auto& p) {
          auto d = toKnowledgeSet(c, 1, p[1]);
          return withOut(c, "dObj", d, [&] { o.ReadWord(toText(c, 0, p[0]), d); });
        });
  m.add("ReadWordTable", {text("cFile"), dictRef("dObj")}, "empty",
        [](BrightquillClient& o, Call& c, const auto& p) {
          auto d = toKnowledgeSet(c, 1, p[1]);
          return withOut(c, "dObj", d, [&] { o.ReadWordTable(toText(c, 0, p[0]), d); });
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
  m.add("PreTest", {text("cPath")}, "empty", [](BQCOM& o, Call& c, const auto& p) {
    o.PreTest(toText(c, 0, p[0]));
    return json();
  });
  m.add("EndTest", {text("cPath")}, "empty", [](BQCOM& o, Call& c, const auto& p) {
    o.EndTest(toText(c, 0, p[0]));
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
