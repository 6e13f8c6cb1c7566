#include "platform/shell/registry.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <span>

#include "common/automation_error.h"
#include "common/files.h"
#include "common/read_limits.h"
#include "common/text.h"
#include "common/winpath.h"

namespace bq::shell::registry {
namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

constexpr const char* kDwordType = "REG_DWORD";

fs::path registryFile() { return winpath::drivesRoot() / "registry" / "HKCU.json"; }

// "\Software\X\" and "Software\X" name the same key.
std::string keyPath(std::string_view key) {
  size_t first = key.find_first_not_of('\\');
  if (first == std::string_view::npos) return {};
  size_t last = key.find_last_not_of('\\');
  return std::string(key.substr(first, last - first + 1));
}

struct Stored {
  Json doc = Json::object();
  bool damaged = false;  // the file exists but holds no registry
};

// The stored registry: an empty one when the file is missing, or damaged
// (not JSON, or not an object of keys). Throws AutomationError when the
// file exists but cannot be read.
Stored load() {
  std::string text;
  try {
    text = readWholeFile(registryFile(), limits::kRegistryFile);
  } catch (const AutomationError& e) {
    if (e.number() == err::kFileNotFound || e.number() == err::kPathNotFound) return {};
    throw;
  }
  Json doc = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (doc.is_discarded() || !doc.is_object()) return {Json::object(), true};
  return {std::move(doc), false};
}

// Moves the registry file aside, to "HKCU.json.damaged-XXXXXX" beside it,
// before a write replaces what it could not read. Throws when it cannot.
void moveAside(const fs::path& file) {
  std::string aside = file.string() + ".damaged-XXXXXX";
  const int fd = ::mkstemp(aside.data());
  if (fd < 0) raiseFileError(errno);
  ::close(fd);
  if (::rename(file.c_str(), aside.c_str()) != 0) {
    const int errnum = errno;
    ::unlink(aside.c_str());
    raiseFileError(errnum);
  }
}

// The member of `object` named `name` without regard to case; the first in
// file order when several differ only in case.
Json::iterator findName(Json& object, const std::string& name) {
  const std::string want = ucase(name);
  for (auto it = object.begin(); it != object.end(); ++it)
    if (ucase(it.key()) == want) return it;
  return object.end();
}

}  // namespace

bool setDword(const std::string& key, const std::string& name, uint32_t value) {
  try {
    Stored stored = load();
    Json& doc = stored.doc;
    const std::string path = keyPath(key);
    auto k = findName(doc, path);
    bool dropsSomething = stored.damaged;
    if (k == doc.end()) {
      doc[path] = Json::object();
      k = findName(doc, path);
    } else if (!k->is_object()) {
      *k = Json::object();  // a damaged key: the file that held it is kept aside
      dropsSomething = true;
    }
    Json entry = {{"type", kDwordType}, {"data", value}};
    auto v = findName(*k, name);
    if (v == k->end()) {
      (*k)[name] = std::move(entry);
    } else {
      *v = std::move(entry);
    }
    const std::string text = doc.dump(2) + "\n";
    const fs::path file = registryFile();
    fs::create_directories(file.parent_path());
    if (dropsSomething) moveAside(file);
    AtomicOutput out(file);
    out.write(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    out.commit();
    return true;
  } catch (const std::exception&) {
    // AutomationError from the file layer, the folder's filesystem_error,
    // and JSON's refusal of a name that is not valid UTF-8.
    return false;
  }
}

std::optional<uint32_t> getDword(const std::string& key, const std::string& name) {
  Json doc = load().doc;
  auto k = findName(doc, keyPath(key));
  if (k == doc.end() || !k->is_object()) return std::nullopt;
  auto v = findName(*k, name);
  if (v == k->end() || !v->is_object()) return std::nullopt;
  auto type = v->find("type");
  auto data = v->find("data");
  if (type == v->end() || data == v->end() || !type->is_string() || *type != kDwordType ||
      !data->is_number_unsigned() || data->get<uint64_t>() > UINT32_MAX)
    return std::nullopt;
  return static_cast<uint32_t>(data->get<uint64_t>());
}

}  // namespace bq::shell::registry
