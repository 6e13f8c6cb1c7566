#include "client/core/exam_servers.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "common/automation_error.h"
#include "common/files.h"
#include "common/winpath.h"

namespace bq::client {
namespace {

namespace fs = std::filesystem;

bool isAsciiAlnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

std::string asciiLower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
  return out;
}

std::string_view trimmed(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

// A host name (labels of letters, digits and "-", separated by single dots),
// which also covers IPv4 addresses, or an IPv6 address in brackets.
bool validHost(std::string_view host) {
  if (host.empty()) return false;
  if (host.front() == '[') {
    if (host.size() < 4 || host.back() != ']') return false;
    const std::string_view inner = host.substr(1, host.size() - 2);
    return std::all_of(inner.begin(), inner.end(), [](char c) {
      return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
    });
  }
  size_t label = 0;
  for (size_t i = 0; i <= host.size(); ++i) {
    if (i == host.size() || host[i] == '.') {
      if (label == 0 || host[i - 1] == '-' || host[i - label] == '-') return false;
      label = 0;
    } else if (isAsciiAlnum(host[i]) || host[i] == '-') {
      ++label;
    } else {
      return false;
    }
  }
  return true;
}

// The port text as a number from 1 to 65535.
std::optional<uint32_t> portNumber(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  uint32_t port = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + static_cast<uint32_t>(c - '0');
  }
  if (port < 1 || port > 65535) return std::nullopt;
  return port;
}

}  // namespace

std::optional<std::string> normalizeOrigin(std::string_view text) {
  text = trimmed(text);
  const size_t sep = text.find("://");
  if (sep == std::string_view::npos) return std::nullopt;
  const std::string scheme = asciiLower(text.substr(0, sep));
  uint32_t defaultPort = 0;
  if (scheme == "http") {
    defaultPort = 80;
  } else if (scheme == "https") {
    defaultPort = 443;
  } else {
    return std::nullopt;
  }
  std::string_view rest = text.substr(sep + 3);
  if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
  // What is left is host[:port]; anything else (a path, a user, a query)
  // makes it no origin.
  std::string_view host = rest;
  std::optional<uint32_t> port;
  const size_t bracket = rest.rfind(']');
  const size_t colon = rest.rfind(':');
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
    host = rest.substr(0, colon);
    port = portNumber(rest.substr(colon + 1));
    if (!port) return std::nullopt;
  }
  if (!validHost(host)) return std::nullopt;
  std::string origin = scheme + "://" + asciiLower(host);
  if (port && *port != defaultPort) origin += ":" + std::to_string(*port);
  return origin;
}

bool ExamServers::allows(std::string_view origin) const {
  const std::optional<std::string> page = normalizeOrigin(origin);
  return page && std::find(origins.begin(), origins.end(), *page) != origins.end();
}

ExamServers parseExamServers(std::string_view text, std::string_view fileName) {
  ExamServers servers;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  size_t lineNumber = 0;
  while (!text.empty() || lineNumber == 0) {
    ++lineNumber;
    const size_t end = text.find('\n');
    const std::string_view line = trimmed(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    if (std::optional<std::string> origin = normalizeOrigin(line)) {
      if (std::find(servers.origins.begin(), servers.origins.end(), *origin) ==
          servers.origins.end()) {
        servers.origins.push_back(std::move(*origin));
      }
    } else {
      servers.problems.push_back(
          std::string(fileName) + ":" + std::to_string(lineNumber) +
          ": not an origin (http://host or https://host:port): " + std::string(line));
    }
  }
  return servers;
}

ExamServers readExamServers(const std::string& appFolder) {
  const fs::path path = winpath::toNative(appFolder + "\\" + kExamServersFile);
  const std::string name = path.string();
  std::error_code ec;
  if (!fs::exists(path, ec)) return {};
  ExamServers none;
  std::string text;
  try {
    InputFile file(path);
    uint8_t buffer[4096];
    while (size_t n = file.read(buffer)) {
      text.append(reinterpret_cast<const char*>(buffer), n);
      if (text.size() > kExamServersMaxBytes) {
        none.problems.push_back(name + ": larger than " + std::to_string(kExamServersMaxBytes) +
                                " bytes, not read");
        return none;
      }
    }
  } catch (const AutomationError& e) {
    none.problems.push_back(name + ": " + e.description());
    return none;
  }
  return parseExamServers(text, name);
}

}  // namespace bq::client
