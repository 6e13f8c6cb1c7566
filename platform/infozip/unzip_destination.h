// The extraction folder of an unzip run: the folders below it made as the
// entries need them, never through a symbolic link, and names matched to
// what is on disk without regard to case, as on Windows. Internal to
// platform/infozip.
//
// Thread safety: a destination belongs to one run.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace bq::infozip {

class Destination {
 public:
  explicit Destination(std::filesystem::path root) : root_(std::move(root)) {}

  // The folder below the extraction folder for `parts`, made where missing
  // (`created` is set when one was made). Never passes through a symbolic
  // link: an archive cannot reach outside the extraction folder through a
  // link already on disk. Nothing when it cannot be, with the reason in
  // `problem`.
  std::optional<std::filesystem::path> folderFor(const std::vector<std::string>& parts,
                                                 bool& created, std::string& problem);

  // The name on disk in `folder` that `name` stands for: the exact name
  // first, else the first in listing order that matches without regard to
  // case, else `name`.
  std::string actualName(const std::filesystem::path& folder, const std::string& name);

  // Tells the listing of `folder` that `name` was made in it.
  void noteCreated(const std::filesystem::path& folder, const std::string& name);

  // The execute bits of an entry that has them, where the file can be read.
  static void addExecuteBits(const std::filesystem::path& target);

  // "folder/.../file" as shown in messages.
  static std::string relativeText(const std::vector<std::string>& folders, const std::string& file);

 private:
  // Names of one folder on disk.
  struct Listing {
    std::unordered_set<std::string> exact;
    std::unordered_map<std::u16string, std::string> byUpper;
  };
  Listing& listing(const std::filesystem::path& folder);
  static void add(Listing& l, const std::string& name);

  std::filesystem::path root_;
  std::unordered_set<std::string> verified_;
  std::map<std::string, Listing> listings_;
};

}  // namespace bq::infozip
