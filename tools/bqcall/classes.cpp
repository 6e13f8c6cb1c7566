// The classes and methods that bqcall can call. Every method of the libraries
// is bound here, with its parameters as the type library names them.

#include <algorithm>
#include <cctype>
#include <optional>

#include "BrightquillCom/brightquill_client.h"
#include "archive/cg_unzip_files.h"
#include "archive/cg_zip_files.h"
#include "platform/ui/common_dialog.h"
#include "platform/ui/qt_backend.h"
#include "platform/ui/recorder.h"
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

Param optionalTextRef(std::string name) { return {std::move(name), Kind::kText, true, true}; }

// A property as the two methods "Let NAME" (one argument) and "Get NAME".
template <typename T>
void boolProperty(Methods<T>& m, const std::string& name, bool (T::*get)() const,
                  void (T::*let)(bool)) {
  m.add("Let " + name, {{"value", Kind::kBool}}, "empty", [let](T& o, Call& c, const auto& p) {
    (o.*let)(toBool(c, 0, p[0]));
    return json();
  });
  m.add("Get " + name, {}, "boolean", [get](T& o, Call&, const auto&) { return json((o.*get)()); });
}

template <typename T>
void textProperty(Methods<T>& m, const std::string& name, std::string (T::*get)() const,
                  void (T::*let)(const std::string&)) {
  m.add("Let " + name, {text("value")}, "empty", [let](T& o, Call& c, const auto& p) {
    (o.*let)(toText(c, 0, p[0]));
    return json();
  });
  m.add("Get " + name, {}, "text", [get](T& o, Call&, const auto&) { return json((o.*get)()); });
}

// A 32-bit property: the value must be a whole number that fits.
template <typename T>
void longProperty(Methods<T>& m, const std::string& name, int32_t (T::*get)() const,
                  void (T::*let)(int32_t)) {
  m.add("Let " + name, {{"value", Kind::kNumber}}, "empty", [let](T& o, Call& c, const auto& p) {
    const double v = toNumber(c, 0, p[0]);
    if (v != static_cast<double>(static_cast<int64_t>(v)) || v < INT32_MIN || v > INT32_MAX) {
      throw UsageError("parameter value expects a 32-bit whole number");
    }
    (o.*let)(static_cast<int32_t>(v));
    return json();
  });
  m.add("Get " + name, {}, "number", [get](T& o, Call&, const auto&) { return json((o.*get)()); });
}

// A common-dialog argument: a JSON object is a dialog object, whose
// "answer" (a file name, or null for Cancel) scripts what the user does; with
// "display": true it is a real dialog on the display; with neither, the
// console's (the initial name confirmed, or Cancel without one). Any other
// value is no object at all.
struct DialogArgument {
  std::unique_ptr<bq::ui::FileDialog> dialog;
  std::shared_ptr<bq::ui::Recorder> recorder;
  bool display = false;
};

DialogArgument toDialog(const Call& c, size_t i, const Param& p) {
  DialogArgument d;
  if (!c.has(i) || !c.args[i].is_object()) return d;
  d.dialog = std::make_unique<bq::ui::FileDialog>();
  for (const auto& [key, value] : c.args[i].items()) {
    if (key == "answer") {
      if (!value.is_string() && !value.is_null())
        throw UsageError("parameter " + p.name + ": answer must be a text or null");
      d.recorder = std::make_shared<bq::ui::Recorder>();
      d.recorder->answerFileDialog(value.is_null() ? std::nullopt
                                                   : std::optional(value.get<std::string>()));
    } else if (key == "display") {
      if (!value.is_boolean()) throw UsageError("parameter " + p.name + ": display must be true or false");
      d.display = value.get<bool>();
    } else {
      throw UsageError("parameter " + p.name + ": unknown key " + key);
    }
  }
  return d;
}

json dialogJson(const bq::ui::CommonDialog* d) {
  if (!d) return json();
  return json{{"DialogTitle", d->DialogTitle()}, {"Filter", d->Filter()}, {"Flags", d->Flags()},
              {"FileName", d->FileName()}, {"CancelError", d->CancelError()}};
}

// GetSaveFile and GetOpenFile: (ComDlg, cFile, cTitle, cFilter).
template <typename F>
json dialogCall(Call& c, const std::vector<Param>& p, F&& method) {
  DialogArgument d = toDialog(c, 0, p[0]);
  std::string file = toText(c, 1, p[1]);
  const std::string title = toText(c, 2, p[2]);
  const std::string filter = toText(c, 3, p[3]);
  auto keep = [&] {
    c.outs["ComDlg"] = c.has(0) && !c.args[0].is_object() ? c.args[0] : dialogJson(d.dialog.get());
    c.outs["cFile"] = file;
  };
  std::optional<bq::ui::ScopedBackend> scope;
  std::string result;
  try {
    if (d.recorder) {
      scope.emplace(d.recorder);
    } else if (d.display && d.dialog) {
      bq::ui::installQtBackend();
    }
    result = method(d.dialog.get(), file, bq::Variant(title), filter);
  } catch (...) {
    keep();
    throw;
  }
  keep();
  return json(result);
}

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
  m.add("OpenPPTApp", {}, "empty", [](BrightquillClient& o, Call&, const auto&) {
    o.OpenPPTApp();
    return json();
  });
  m.add("ReadPPT", {text("cFile"), dictRef("dObj")}, "empty",
        [](BrightquillClient& o, Call& c, const auto& p) {
          auto d = toKnowledgeSet(c, 1, p[1]);
          return withOut(c, "dObj", d, [&] { o.ReadPPT(toText(c, 0, p[0]), d); });
        });
  m.add("ClosePPT", {}, "empty", [](BrightquillClient& o, Call&, const auto&) {
    o.ClosePPT();
    return json();
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
  const std::vector<Param> dialogParams = {
      {"ComDlg", Kind::kDialog, true}, textRef("cFile"), text("cTitle"), text("cFilter")};
  m.add("GetSaveFile", dialogParams, "text", [](BrightquillClient& o, Call& c, const auto& p) {
    return dialogCall(c, p, [&](auto* d, std::string& f, const bq::Variant& t, const std::string& x) {
      return o.GetSaveFile(d, f, t, x);
    });
  });
  m.add("GetOpenFile", dialogParams, "text", [](BrightquillClient& o, Call& c, const auto& p) {
    return dialogCall(c, p, [&](auto* d, std::string& f, const bq::Variant& t, const std::string& x) {
      return o.GetOpenFile(d, f, t, x);
    });
  });
  m.add("Unzip", {text("cZipFile"), text("cUnzipPath")}, "boolean",
        [](BrightquillClient& o, Call& c, const auto& p) {
          return json(o.Unzip(toText(c, 0, p[0]), toText(c, 1, p[1])));
        });
  m.add("Zip", {text("cZipPath"), text("cScrFile")}, "boolean",
        [](BrightquillClient& o, Call& c, const auto& p) {
          return json(o.Zip(toText(c, 0, p[0]), toText(c, 1, p[1])));
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

ClassBinding cgZipFiles() {
  using bq::archive::CGZipFiles;
  Methods<CGZipFiles> m;
  boolProperty(m, "RecurseFolders", &CGZipFiles::RecurseFolders, &CGZipFiles::RecurseFolders);
  textProperty(m, "ZipFileName", &CGZipFiles::ZipFileName, &CGZipFiles::ZipFileName);
  boolProperty(m, "Encrypted", &CGZipFiles::Encrypted, &CGZipFiles::Encrypted);
  boolProperty(m, "IncludeSystemFiles", &CGZipFiles::IncludeSystemFiles,
               &CGZipFiles::IncludeSystemFiles);
  m.add("Get ZipFileCount", {}, "number",
        [](CGZipFiles& o, Call&, const auto&) { return json(o.ZipFileCount()); });
  textProperty(m, "RootDirectory", &CGZipFiles::RootDirectory, &CGZipFiles::RootDirectory);
  boolProperty(m, "UpdatingZip", &CGZipFiles::UpdatingZip, &CGZipFiles::UpdatingZip);
  m.add("AddFile", {text("sFileName")}, "empty", [](CGZipFiles& o, Call& c, const auto& p) {
    o.AddFile(toText(c, 0, p[0]));
    return json();
  });
  m.add("RemoveFile", {text("sFileName")}, "empty", [](CGZipFiles& o, Call& c, const auto& p) {
    o.RemoveFile(toText(c, 0, p[0]));
    return json();
  });
  m.add("MakeZipFile", {}, "number",
        [](CGZipFiles& o, Call&, const auto&) { return json(o.MakeZipFile()); });
  m.add("GetLastMessage", {}, "text",
        [](CGZipFiles& o, Call&, const auto&) { return json(o.GetLastMessage()); });
  return m.done("CGZipFiles", CGZipFiles::kProgId);
}

ClassBinding cgUnzipFiles() {
  using bq::archive::CGUnzipFiles;
  using U = CGUnzipFiles;
  Methods<U> m;
  boolProperty(m, "ExtractNewer", &U::ExtractNewer, &U::ExtractNewer);
  boolProperty(m, "SpaceToUnderScore", &U::SpaceToUnderScore, &U::SpaceToUnderScore);
  boolProperty(m, "PromptOverwrite", &U::PromptOverwrite, &U::PromptOverwrite);
  longProperty(m, "MessageLevel", &U::MessageLevel, &U::MessageLevel);
  boolProperty(m, "WriteToStdOut", &U::WriteToStdOut, &U::WriteToStdOut);
  boolProperty(m, "TestZip", &U::TestZip, &U::TestZip);
  longProperty(m, "ExtractList", &U::ExtractList, &U::ExtractList);
  boolProperty(m, "ExtractOnlyNewer", &U::ExtractOnlyNewer, &U::ExtractOnlyNewer);
  boolProperty(m, "DisplayComment", &U::DisplayComment, &U::DisplayComment);
  boolProperty(m, "HonorDirectories", &U::HonorDirectories, &U::HonorDirectories);
  boolProperty(m, "OverWriteFiles", &U::OverWriteFiles, &U::OverWriteFiles);
  boolProperty(m, "ConvertCRtoCRLF", &U::ConvertCRtoCRLF, &U::ConvertCRtoCRLF);
  boolProperty(m, "Verbose", &U::Verbose, &U::Verbose);
  boolProperty(m, "CaseSensitive", &U::CaseSensitive, &U::CaseSensitive);
  longProperty(m, "Privilege", &U::Privilege, &U::Privilege);
  textProperty(m, "ZipFileName", &U::ZipFileName, &U::ZipFileName);
  textProperty(m, "ExtractDir", &U::ExtractDir, &U::ExtractDir);
  m.add("Unzip", {optionalTextRef("sZipFileName"), optionalTextRef("sExtractDir")}, "number",
        [](U& o, Call& c, const auto& p) {
          std::optional<std::string> zip, dir;
          if (c.has(0)) zip = toText(c, 0, p[0]);
          if (c.has(1)) dir = toText(c, 1, p[1]);
          auto keep = [&] {
            c.outs["sZipFileName"] = zip.value_or("");
            c.outs["sExtractDir"] = dir.value_or("");
          };
          int32_t result = 0;
          try {
            result = o.Unzip(zip, dir);
          } catch (...) {
            keep();
            throw;
          }
          keep();
          return json(result);
        });
  m.add("GetLastMessage", {}, "text",
        [](U& o, Call&, const auto&) { return json(o.GetLastMessage()); });
  return m.done("CGUnzipFiles", CGUnzipFiles::kProgId);
}

}  // namespace

const MethodBinding* ClassBinding::findMethod(const std::string& method) const {
  for (const auto& m : methods)
    if (sameName(m.name, method)) return &m;
  return nullptr;
}

const std::vector<ClassBinding>& allClasses() {
  static const std::vector<ClassBinding> classes = {brightquillClient(), bqcom(), cgZipFiles(),
                                                    cgUnzipFiles()};
  return classes;
}

const ClassBinding* findClass(const std::string& name) {
  for (const auto& c : allClasses())
    if (sameName(c.name, name) || sameName(c.progId, name)) return &c;
  return nullptr;
}

}  // namespace bqcall
