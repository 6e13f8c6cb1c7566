#include "webcom/bqcom_dispatch.h"

#include <functional>

#include "common/automation_error.h"
#include "common/text.h"

namespace bq {
namespace {

using Texts = std::vector<std::string>;

struct Binding {
  BqcomMember member;
  std::function<void(BQCOM&, Texts&)> call;
};

// FileDownLoad and FileUpLoad: six texts, all by reference.
std::function<void(BQCOM&, Texts&)> transfer(void (BQCOM::*method)(std::string&, std::string&,
                                                                   std::string&, std::string&,
                                                                   std::string&, std::string&)) {
  return [method](BQCOM& o, Texts& a) { (o.*method)(a[0], a[1], a[2], a[3], a[4], a[5]); };
}

const std::vector<Binding>& bindings() {
  static const std::vector<BqcomParam> transferParams = {{"cIP", true},     {"cPort", true},
                                                         {"cServer", true}, {"cClient", true},
                                                         {"cID", true},     {"cFlag", true}};
  static const std::vector<Binding> table = {
      {{"CreateOpDirs", {{"cPath", false}, {"cZSD", false}}},
       [](BQCOM& o, Texts& a) { o.CreateOpDirs(a[0], a[1]); }},
      {{"FileDownLoad", transferParams}, transfer(&BQCOM::FileDownLoad)},
      {{"FileUpLoad", transferParams}, transfer(&BQCOM::FileUpLoad)},
      {{"PreTest", {{"cPath", false}}}, [](BQCOM& o, Texts& a) { o.PreTest(a[0]); }},
      {{"EndTest", {{"cPath", false}}}, [](BQCOM& o, Texts& a) { o.EndTest(a[0]); }},
      {{"QuestionPane", {{"tg", false}}}, [](BQCOM& o, Texts& a) { o.QuestionPane(a[0]); }},
      {{"TermProc", {}}, [](BQCOM& o, Texts&) { o.TermProc(); }},
  };
  return table;
}

const Binding* findBinding(std::string_view name) {
  const std::string wanted = lcase(name);
  for (const Binding& b : bindings()) {
    if (lcase(b.member.name) == wanted) return &b;
  }
  return nullptr;
}

}  // namespace

const std::vector<BqcomMember>& BqcomMembers() {
  static const std::vector<BqcomMember> members = [] {
    std::vector<BqcomMember> out;
    for (const Binding& b : bindings()) out.push_back(b.member);
    return out;
  }();
  return members;
}

const BqcomMember* FindBqcomMember(std::string_view name) {
  const Binding* b = findBinding(name);
  return b ? &b->member : nullptr;
}

void InvokeBqcom(BQCOM& object, std::string_view name, ScriptArgs& args) {
  const Binding* b = findBinding(name);
  if (!b) raiseError(err::kNoSuchMember, BQCOM::kErrorSource);
  const std::vector<BqcomParam>& params = b->member.params;
  if (args.size() < params.size()) raiseError(err::kArgumentNotOptional, BQCOM::kErrorSource);
  if (args.size() > params.size()) raiseError(err::kWrongArgumentCount, BQCOM::kErrorSource);
  Texts texts;
  for (const std::optional<std::string>& arg : args) {
    if (!arg) raiseError(err::kTypeMismatch, BQCOM::kErrorSource);
    texts.push_back(*arg);
  }
  // By-reference arguments come back as the method left them, also when it
  // fails part way.
  auto keep = [&] {
    for (size_t i = 0; i < params.size(); ++i) {
      if (params[i].byRef) args[i] = texts[i];
    }
  };
  try {
    b->call(object, texts);
  } catch (...) {
    keep();
    throw;
  }
  keep();
}

}  // namespace bq
