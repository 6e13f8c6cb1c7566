// bqcall: calls a method of the libraries' classes from a shell, standing in
// for the automation clients that called them.
//
//   bqcall CLASS METHOD [ARG ...]   one call; the answer as one JSON object
//   bqcall -                        one call per line of standard input (JSON)
//   bqcall --list                   every class and method with its parameters
//
// Exit codes: 0 success, 1 the call failed (the error is in the answer),
// 2 usage error (message on standard error).

#include <iostream>
#include <map>
#include <string>

#include "common/automation_error.h"
#include "tools/bqcall/binding.h"
#include "tools/bqcall/json_args.h"

namespace bqcall {
namespace {

const char* kindName(Kind k) {
  switch (k) {
    case Kind::kText: return "text";
    case Kind::kDictionary: return "dictionary";
    case Kind::kArray: return "array";
    case Kind::kBool: return "boolean";
    case Kind::kNumber: return "number";
    case Kind::kRecordset: return "recordset";
    case Kind::kPicture: return "picture control";
    case Kind::kDialog: return "dialog";
  }
  return "?";
}

std::string dump(const json& j) {
  // Texts that are not valid UTF-8 are answered with U+FFFD rather than failing.
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

void printList() {
  for (const auto& c : allClasses()) {
    std::cout << c.name << " (" << c.progId << ")\n";
    for (const auto& m : c.methods) {
      std::cout << "  " << m.name << "(";
      for (size_t i = 0; i < m.params.size(); ++i) {
        const Param& p = m.params[i];
        std::cout << (i ? ", " : "") << p.name << ": " << kindName(p.kind);
        if (p.byRef) std::cout << " by reference";
        if (p.optional) std::cout << " optional";
      }
      std::cout << ") -> " << m.result << "\n";
    }
  }
}

// Checks the argument count of a call to `m` with `given` arguments.
void checkCount(const MethodBinding& m, size_t given) {
  if (given > m.params.size())
    throw UsageError(m.name + " takes " + std::to_string(m.params.size()) + " arguments, not " +
                     std::to_string(given));
  for (size_t i = given; i < m.params.size(); ++i) {
    // Trailing optional parameters may be left out, and so may by-reference
    // ones, which then start empty.
    if (!m.params[i].optional && !m.params[i].byRef)
      throw UsageError(m.name + ": missing argument " + m.params[i].name);
  }
}

// Makes the call; the answer object, and whether the call failed.
json answer(const MethodBinding& m, ObjectBase& object, Call& call, bool& failed) {
  failed = false;
  try {
    json result = m.invoke(object, call);
    return json{{"result", std::move(result)}, {"args", call.outs}};
  } catch (const UsageError&) {
    throw;
  } catch (const bq::AutomationError& e) {
    failed = true;
    json out{{"error", {{"number", e.number()}, {"source", e.source()}, {"description", e.description()}}}};
    if (!call.outs.empty()) out["args"] = call.outs;
    return out;
  } catch (const std::exception& e) {
    // Not an error the libraries raise by design: reported as the platform's internal error.
    failed = true;
    return json{{"error", {{"number", 51}, {"source", "bqcall"}, {"description", e.what()}}}};
  }
}

int callOnce(int argc, char** argv) {
  const ClassBinding* cls = findClass(argv[1]);
  if (!cls) throw UsageError(std::string("unknown class: ") + argv[1]);
  const MethodBinding* m = cls->findMethod(argv[2]);
  if (!m) throw UsageError(cls->name + " has no method " + argv[2]);
  checkCount(*m, static_cast<size_t>(argc - 3));
  Call call;
  for (int i = 3; i < argc; ++i) call.args.push_back(fromCommandLine(argv[i], m->params[i - 3]));
  auto object = cls->create();
  bool failed = false;
  json out = answer(*m, *object, call, failed);
  std::cout << dump(out) << std::endl;
  return failed ? 1 : 0;
}

struct Live {
  const ClassBinding* cls;
  std::unique_ptr<ObjectBase> object;
};

// One line of `bqcall -`.
json callLine(const std::string& line, std::map<std::string, Live>& objects) {
  json req;
  try {
    req = json::parse(line);
  } catch (const json::parse_error& e) {
    throw UsageError(std::string("not JSON: ") + e.what());
  }
  if (!req.is_object()) throw UsageError("a call is a JSON object");
  auto text = [&](const char* key) -> std::string {
    if (!req.contains(key) || req[key].is_null()) return {};
    if (!req[key].is_string()) throw UsageError(std::string(key) + " must be a text");
    return req[key].get<std::string>();
  };
  std::string objectName = text("object"), className = text("class"), method = text("method");
  if (method.empty()) throw UsageError("a call needs a method");

  const ClassBinding* cls = className.empty() ? nullptr : findClass(className);
  if (!className.empty() && !cls) throw UsageError("unknown class: " + className);
  ObjectBase* object = nullptr;
  std::unique_ptr<ObjectBase> temporary;
  if (!objectName.empty()) {
    auto it = objects.find(objectName);
    if (it == objects.end()) {
      if (!cls) throw UsageError("object " + objectName + " does not exist yet: give its class");
      it = objects.emplace(objectName, Live{cls, cls->create()}).first;
    } else if (cls && cls != it->second.cls) {
      throw UsageError("object " + objectName + " is a " + it->second.cls->name);
    }
    cls = it->second.cls;
    object = it->second.object.get();
  } else {
    if (!cls) throw UsageError("a call needs a class or an object");
    temporary = cls->create();
    object = temporary.get();
  }
  const MethodBinding* m = cls->findMethod(method);
  if (!m) throw UsageError(cls->name + " has no method " + method);

  Call call;
  if (req.contains("args")) {
    if (!req["args"].is_array()) throw UsageError("args must be an array");
    for (const auto& a : req["args"]) call.args.push_back(a);
  }
  checkCount(*m, call.args.size());
  bool failed = false;
  return answer(*m, *object, call, failed);
}

int callLines() {
  std::map<std::string, Live> objects;
  int status = 0;
  std::string line;
  while (std::getline(std::cin, line)) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    try {
      std::cout << dump(callLine(line, objects)) << std::endl;
    } catch (const UsageError& e) {
      std::cerr << "bqcall: " << e.what() << "\n";
      std::cout << dump(json{{"usage", e.what()}}) << std::endl;
      status = 2;
    }
  }
  return status;
}

int usage() {
  std::cerr << "usage: bqcall CLASS METHOD [ARG ...]\n"
               "       bqcall -        (one JSON call per line of standard input)\n"
               "       bqcall --list\n";
  return 2;
}

}  // namespace
}  // namespace bqcall

int main(int argc, char** argv) {
  using namespace bqcall;
  if (argc == 2 && std::string(argv[1]) == "--list") {
    printList();
    return 0;
  }
  if (argc == 2 && std::string(argv[1]) == "-") return callLines();
  if (argc < 3) return usage();
  try {
    return callOnce(argc, argv);
  } catch (const UsageError& e) {
    std::cerr << "bqcall: " << e.what() << "\n";
    return 2;
  }
}
