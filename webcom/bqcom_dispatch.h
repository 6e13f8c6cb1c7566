// Late binding of BQCOM: its methods reached by name, as a script host reaches
// an automation object through its dispatch interface.
//
// A page's script does not know the class's types: it names a method and
// passes values. BqcomMembers() describes the dispatch interface (methods in
// its order, each with its parameters and which of them are by reference);
// InvokeBqcom() looks a method up by name, without regard to case, checks
// the arguments the way the dispatch layer checks them, and calls it.
//
// Every parameter of BQCOM is a text. An argument is a text, or nothing for
// a Null value, which no text parameter accepts.
//
// Thread safety: as BQCOM; the call runs on the calling thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "webcom/bqcom.h"

namespace bq {

struct BqcomParam {
  const char* name;
  bool byRef;
};

struct BqcomMember {
  const char* name;
  std::vector<BqcomParam> params;
};

// BQCOM's methods in the order of its dispatch interface.
const std::vector<BqcomMember>& BqcomMembers();

// The member named `name` (any case), or nullptr.
const BqcomMember* FindBqcomMember(std::string_view name);

using ScriptArgs = std::vector<std::optional<std::string>>;

// Calls method `name` (any case) of `object` with `args`, in parameter order.
// After the call, and also when the method failed, each by-reference
// argument holds what the method left in it.
// Throws AutomationError before anything is called:
//   438 "Object doesn't support this property or method": no such method;
//   449 "Argument not optional": fewer arguments than parameters;
//   450 "Wrong number of arguments or invalid property assignment": more;
//   13 "Type mismatch": a Null argument;
// and otherwise what the method throws (source "BrightquillWebCom").
void InvokeBqcom(BQCOM& object, std::string_view name, ScriptArgs& args);

}  // namespace bq
