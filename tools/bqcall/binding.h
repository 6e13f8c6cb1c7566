// How bqcall knows the classes it can call: for every class its name, its
// programmatic identifier, a factory, and its methods with their parameters
// in the order the type library gives them.
//
// A method binding converts the JSON arguments of one call into the method's
// typed parameters (json_args.h), calls the method, stores the values of the
// by-reference parameters after the call in Call::outs, and returns the
// method's result as JSON (null for an empty variant).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace bqcall {

// Ordered: dictionaries keep their keys in order on the way in and out.
using json = nlohmann::ordered_json;

// What a parameter takes on the command line and in JSON.
enum class Kind {
  kText,        // a text: the argument as it stands (a JSON string)
  kDictionary,  // a JSON object (key to item) or a JSON array of keys (item 1 each)
  kArray,       // a JSON array
  kBool,        // true or false
  kNumber,      // a number in decimal
  kRecordset,   // {"connection": CONNECTION-STRING, "source": SQL}
  kPicture,     // a picture control: "record" or "console" (json_args.h)
  kDialog,      // a common-dialog object: a JSON object (see docs/archives-and-ftp.md); anything else is none
};

struct Param {
  std::string name;
  Kind kind;
  bool byRef = false;
  bool optional = false;
};

// The arguments of one call, as JSON values in parameter order (shorter when
// trailing optional or by-reference parameters were left out), and the
// by-reference values after it.
struct Call {
  std::vector<json> args;
  json outs = json::object();

  bool has(size_t i) const { return i < args.size() && !args[i].is_null(); }
};

// One live object of a class; bindings downcast to their own Object<T>.
struct ObjectBase {
  virtual ~ObjectBase() = default;
};
template <typename T>
struct Object : ObjectBase {
  T self;
};

struct MethodBinding {
  std::string name;
  std::vector<Param> params;
  std::string result;  // what the result is, for --list
  std::function<json(ObjectBase&, Call&)> invoke;
};

struct ClassBinding {
  std::string name;
  std::string progId;
  std::function<std::unique_ptr<ObjectBase>()> create;
  std::vector<MethodBinding> methods;

  const MethodBinding* findMethod(const std::string& method) const;
};

// Every class bqcall can call.
const std::vector<ClassBinding>& allClasses();

// The class named `name` (its name or programmatic identifier, without regard
// to case), or nullptr.
const ClassBinding* findClass(const std::string& name);

// Thrown for a call bqcall cannot make: unknown class or method, wrong number
// of arguments, an argument of the wrong form. Exit code 2.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

}  // namespace bqcall
