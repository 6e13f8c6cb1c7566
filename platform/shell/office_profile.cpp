#include "platform/shell/office_profile.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <set>
#include <span>
#include <system_error>
#include <utility>
#include <vector>

#include "common/automation_error.h"
#include "common/files.h"

namespace bq::shell {
namespace {

namespace fs = std::filesystem;

struct Item {
  std::string path, name, value;
};

constexpr std::string_view kHeader =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
    "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n";
constexpr std::string_view kEnd = "</oor:items>";

std::vector<Item> examItems(std::string_view version, int64_t now, int autosaveMinutes) {
  const std::string common = "/org.openoffice.Office.Common";
  const std::string product = "/org.openoffice.Setup/Product";
  const std::string recovery = "/org.openoffice.Office.Recovery";
  std::vector<Item> items = {
      {common + "/Save/Document", "WarnAlienFormat", "false"},
      {common + "/Misc", "ShowTipOfTheDay", "false"},
      {common + "/Misc", "FirstRun", "false"},
      {product, "LastTimeGetInvolvedShown", std::to_string(now)},
      {product, "LastTimeDonateShown", std::to_string(now)},
      {recovery + "/RecoveryInfo", "Enabled", "true"},
      {recovery + "/AutoSave", "Enabled", "true"},
      {recovery + "/AutoSave", "UserAutoSaveEnabled", autosaveMinutes > 0 ? "true" : "false"},
  };
  if (autosaveMinutes > 0)
    items.push_back({recovery + "/AutoSave", "TimeIntervall", std::to_string(autosaveMinutes)});
  if (!version.empty()) items.push_back({product, "ooSetupLastVersion", std::string(version)});
  return items;
}

// The text between `open` and the next `close` after `from`, or nullopt.
std::optional<std::string> between(std::string_view text, std::string_view open,
                                   std::string_view close, size_t from = 0) {
  const size_t a = text.find(open, from);
  if (a == std::string_view::npos) return std::nullopt;
  const size_t b = text.find(close, a + open.size());
  if (b == std::string_view::npos) return std::nullopt;
  return std::string(text.substr(a + open.size(), b - a - open.size()));
}

int autosaveMinutes() {
  const char* v = std::getenv("BQ_OFFICE_AUTOSAVE_MINUTES");
  if (!v || !*v) return 0;
  char* end = nullptr;
  const long n = std::strtol(v, &end, 10);
  if (*end != '\0' || n < 0) return 0;
  return static_cast<int>(std::min(n, 120L));
}

}  // namespace

fs::path examOfficeProfile() {
  if (const char* p = std::getenv("BQ_OFFICE_PROFILE"); p && *p) return p;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
    return fs::path(state) / "brightquill" / "libreoffice";
  const char* home = std::getenv("HOME");
  return fs::path(home && *home ? home : "/tmp") / ".local" / "state" / "brightquill" /
         "libreoffice";
}

std::string examProfileSettings(std::string_view existing, std::string_view version, int64_t now,
                                int autosaveMinutes) {
  const std::vector<Item> items = examItems(version, now, autosaveMinutes);
  std::set<std::pair<std::string, std::string>> ours;
  for (const Item& i : items) ours.insert({i.path, i.name});
  // LibreOffice writes one item a line; a file without its frame starts anew.
  std::string out;
  const size_t end = existing.rfind(kEnd);
  const bool framed =
      existing.find("<oor:items") != std::string_view::npos && end != std::string_view::npos;
  if (!framed) {
    out = kHeader;
  } else {
    size_t pos = 0;
    while (pos < end) {
      size_t eol = existing.find('\n', pos);
      if (eol == std::string_view::npos || eol > end) eol = end;
      const std::string_view line = existing.substr(pos, eol - pos);
      const std::optional<std::string> path = between(line, "<item oor:path=\"", "\"");
      const std::optional<std::string> name = between(line, "<prop oor:name=\"", "\"");
      const bool mine = line.starts_with("<item ") && path && name && ours.count({*path, *name});
      if (!mine && !line.empty()) {
        out += line;
        out += '\n';
      }
      pos = eol + 1;
    }
  }
  for (const Item& i : items)
    out += "<item oor:path=\"" + i.path + "\"><prop oor:name=\"" + i.name +
           "\" oor:op=\"fuse\"><value>" + i.value + "</value></prop></item>\n";
  out += kEnd;
  out += '\n';
  return out;
}

std::string libreOfficeVersion(const fs::path& soffice) {
  std::error_code ec;
  const fs::path program = fs::canonical(soffice, ec).parent_path();
  if (ec) return {};
  try {
    const std::string xcd = readWholeFile(program.parent_path() / "share" / "registry" / "main.xcd",
                                          ReadLimit{64ull << 20, "LibreOffice main.xcd"});
    const size_t at = xcd.find("<prop oor:name=\"ooSetupVersion\">");
    if (at == std::string::npos) return {};
    return between(xcd, "<value>", "</value>", at).value_or("");
  } catch (const AutomationError&) {
    return {};
  }
}

fs::path prepareExamOfficeProfile(const fs::path& soffice) {
  const fs::path folder = examOfficeProfile();
  const fs::path user = folder / "user";
  std::error_code ec;
  fs::create_directories(user, ec);
  if (ec)
    throw AutomationError(
        err::kPermissionDenied, "shell",
        "cannot make LibreOffice's exam profile " + user.string() + ": " + ec.message());
  const fs::path settings = user / "registrymodifications.xcu";
  std::string existing;
  if (fs::exists(settings, ec))
    existing = readWholeFile(settings, ReadLimit{64ull << 20, "LibreOffice settings"});
  const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  const std::string text =
      examProfileSettings(existing, libreOfficeVersion(soffice), now, autosaveMinutes());
  AtomicOutput out(settings);
  out.write(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  out.commit();
  return folder;
}

std::string fileUrl(const fs::path& folder) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : folder.string()) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
        std::string_view("/-._~").find(static_cast<char>(c)) != std::string_view::npos) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  return url;
}

}  // namespace bq::shell
