#include "platform/office/legacy/soffice.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/shell/openers.h"

namespace bq::office {

namespace fs = std::filesystem;

fs::path findSoffice() { return shell::libreOfficeProgram(); }

TempFolder::TempFolder(std::string_view prefix, const Failure& failure) {
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  if (ec) base = "/tmp";
  std::string pattern = (base / (std::string(prefix) + "XXXXXX")).string();
  if (!::mkdtemp(pattern.data()))
    failure.raise("cannot make a temporary folder (" + std::string(std::strerror(errno)) + ")");
  path_ = pattern;
}

TempFolder::TempFolder(TempFolder&& other) noexcept : path_(std::move(other.path_)) {
  other.path_.clear();
}

TempFolder::~TempFolder() {
  if (path_.empty()) return;
  std::error_code ec;
  fs::remove_all(path_, ec);
}

}  // namespace bq::office
