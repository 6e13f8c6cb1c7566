#include "platform/infozip/unzip_destination.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "common/text.h"
#include "common/winpath.h"

namespace bq::infozip {

namespace fs = std::filesystem;

std::optional<fs::path> Destination::folderFor(const std::vector<std::string>& parts, bool& created,
                                               std::string& problem) {
  fs::path current = root_;
  for (const std::string& part : parts) {
    const std::string actual = actualName(current, part);
    fs::path next = current / actual;
    if (verified_.count(next.native())) {
      current = std::move(next);
      continue;
    }
    struct stat st {};
    if (::lstat(next.c_str(), &st) != 0) {
      if (::mkdir(next.c_str(), 0777) != 0 && errno != EEXIST) {
        problem = std::string("cannot create folder (") + std::strerror(errno) + ")";
        return std::nullopt;
      }
      if (::lstat(next.c_str(), &st) != 0) {
        problem = "cannot create folder";
        return std::nullopt;
      }
      noteCreated(current, actual);
      created = true;
    }
    if (S_ISLNK(st.st_mode)) {
      problem = "path leads through the symbolic link " + actual;
      return std::nullopt;
    }
    if (!S_ISDIR(st.st_mode)) {
      problem = "a file is in the way of its folder";
      return std::nullopt;
    }
    verified_.insert(next.native());
    current = std::move(next);
  }
  return current;
}

Destination::Listing& Destination::listing(const fs::path& folder) {
  auto [it, added] = listings_.try_emplace(folder.native());
  if (!added) return it->second;
  Listing& l = it->second;
  if (DIR* d = ::opendir(folder.c_str())) {
    while (dirent* de = ::readdir(d)) {
      std::string name = de->d_name;
      if (name == "." || name == "..") continue;
      add(l, name);
    }
    ::closedir(d);
  }
  return l;
}

void Destination::add(Listing& l, const std::string& name) {
  l.exact.insert(name);
  std::u16string key = ucase16(toUtf16(name));
  auto [it, added] = l.byUpper.try_emplace(std::move(key), name);
  if (!added && winpath::listsBefore(name, it->second)) it->second = name;
}

std::string Destination::actualName(const fs::path& folder, const std::string& name) {
  Listing& l = listing(folder);
  if (l.exact.count(name)) return name;
  auto it = l.byUpper.find(ucase16(toUtf16(name)));
  return it == l.byUpper.end() ? name : it->second;
}

void Destination::noteCreated(const fs::path& folder, const std::string& name) {
  add(listing(folder), name);
}

void Destination::addExecuteBits(const fs::path& target) {
  struct stat st {};
  if (::lstat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    ::chmod(target.c_str(), (st.st_mode & 07777) | ((st.st_mode & 0444) >> 2));
  }
}

std::string Destination::relativeText(const std::vector<std::string>& folders,
                                      const std::string& file) {
  std::string out;
  for (const std::string& f : folders) out += f + "/";
  return out + file;
}

}  // namespace bq::infozip
