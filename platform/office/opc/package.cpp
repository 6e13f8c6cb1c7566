#include "platform/office/opc/package.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <unordered_map>
#include <utility>

#include "common/automation_error.h"
#include "common/winpath.h"
#include "platform/office/legacy/legacy_conversion.h"
#include "platform/office/opc/detail/markup_compat.h"
#include "platform/office/opc/detail/xml_tree.h"
#include "platform/office/shared/detail/text_util.h"
#include "platform/office/shared/failure.h"
#include "platform/zip/unique_fd.h"
#include "platform/zip/zip_archive.h"

namespace bq::office {

// The package's zip archive and its entries, read by the zip layer, which
// reports a fault as the package's failure would: the same number, source
// and file.
using zip::ZipArchive;
using zip::ZipEntry;
using ZipFailure = zip::Failure;

namespace {

// What the archive of a package may hold (shared/limits.h).
const zip::Bounds kPackageBounds{limits::kMaxParts, limits::kMaxTotalUncompressedBytes,
                                 limits::kMaxCompressionRatio, limits::kRatioCheckedAbove};

ZipFailure zipFailureOf(const Failure& failure) {
  return {failure.number, failure.source, failure.subject};
}

}  // namespace

namespace detail {

struct PartEntry {
  std::string name;
  size_t zipEntry = 0;
  // Filled on first use.
  bool read = false;
  bool markupTaken = false;  // by a scan: parsing it later does not take it again
  std::unique_ptr<XmlTree> tree;
  MarkupCompatibility markupCompatibility;  // what its text holds of it
  std::optional<AutomationError> error;
  bool relsLoaded = false;
  std::vector<Relationship> rels;
};

struct PackageState {
  Failure failure;
  ZipFailure zipFailure;  // the same, for the archive
  ZipArchive zip;
  std::vector<PartEntry> parts;
  std::unordered_map<std::string, size_t> byKey;
  std::unordered_map<std::string, std::string> defaults;   // folded extension -> type
  std::unordered_map<std::string, std::string> overrides;  // folded part name -> type
  uint64_t markupLeft = limits::kMaxXmlMarkupPerPackage;
  NsSet understood = NsSet::standard();  // by the model, in markup compatibility
  bool converted = false;
  bool packageRelsLoaded = false;
  std::vector<Relationship> packageRels;

  PackageState(Failure f, ZipArchive z)
      : failure(std::move(f)), zipFailure(zipFailureOf(failure)), zip(std::move(z)) {}

  std::optional<size_t> find(std::string_view name) const;
  // The bytes of `part`, verified (ZipArchive::read).
  std::string read(const PartEntry& part) const;
  pugi::xml_node xml(size_t index, bool lazy = false);
  void expand(size_t index, pugi::xml_node child);
  // Expands `child` of part `part`, failing as expand() fails; false when
  // it was expanded before.
  bool expandOnce(PartEntry& part, pugi::xml_node child);
  bool scan(size_t index, const std::function<bool(const std::string&)>& read);
  void parse(PartEntry& part, std::string bytes, bool markupTaken, bool lazy = false);
  std::vector<Relationship> loadRelationships(std::string_view source);
  std::string contentType(std::string_view name) const;
};

}  // namespace detail

namespace {

namespace fs = std::filesystem;
using detail::PackageState;
using detail::PartEntry;

const std::string kEmpty;
const std::vector<Relationship> kNoRelationships;
constexpr std::string_view kOle2Signature = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

// The key under which part names are compared.
std::string foldName(std::string_view name) {
  // One string built and lowered in place: every part name is folded at
  // opening and every lookup folds one.
  if (name.starts_with('/')) name.remove_prefix(1);
  std::string key;
  key.reserve(name.size() + 1);
  key += '/';
  if (name.find('%') == std::string_view::npos)
    key += name;
  else
    key += percentDecode(name);
  for (char& c : key) c = asciiLower(c);
  return key;
}

// The part name of zip entry `entry`, or nothing when the entry is no part.
std::optional<std::string> partNameOf(std::string_view entry) {
  std::string name(entry);
  for (char& c : name)
    if (c == '\\') c = '/';
  if (name.empty() || name.front() == '/' || name.back() == '/') return std::nullopt;
  if (name.size() >= 2 && name[1] == ':') return std::nullopt;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    std::string_view segment(name.data() + start, end - start);
    if (segment.empty() || segment == "." || segment == "..") return std::nullopt;
    start = end + 1;
  }
  return "/" + name;
}

// The .rels part of `source` ("/" for the package).
std::string relsPartOf(std::string_view source) {
  if (source == "/") return "/_rels/.rels";
  size_t slash = source.rfind('/');
  std::string rels(source.substr(0, slash + 1));
  rels += "_rels/";
  rels += source.substr(slash + 1);
  rels += ".rels";
  return rels;
}

UniqueFd openRegularFile(const fs::path& file, uint64_t& size) {
  UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd) winpath::raiseOpenError(errno, file);
  struct stat st;
  // O_NONBLOCK kept the open from waiting on a pipe; anything but a regular
  // file is refused as the original's file statements refused a device.
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) raiseError(err::kPathFileAccess);
  ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  size = static_cast<uint64_t>(st.st_size);
  return fd;
}

std::string readHead(int fd) {
  char head[8];
  ssize_t n;
  do {
    n = ::pread(fd, head, sizeof head, 0);
  } while (n < 0 && errno == EINTR);
  return std::string(head, n > 0 ? static_cast<size_t>(n) : 0);
}

void checkFileSize(uint64_t size, const Failure& failure) {
  if (size > limits::kMaxFileBytes)
    failure.raise("the file is larger than " + std::to_string(limits::kMaxFileBytes) + " bytes");
}

std::unique_ptr<PackageState> buildState(ZipArchive zip, const Failure& failure, NsSet understood) {
  auto state = std::make_unique<PackageState>(failure, std::move(zip));
  state->understood = understood;
  const std::vector<ZipEntry>& entries = state->zip.entries();
  for (size_t i = 0; i < entries.size(); ++i) {
    std::optional<std::string> name = partNameOf(entries[i].name);
    if (!name) continue;
    if (!state->byKey.emplace(foldName(*name), state->parts.size()).second) continue;
    PartEntry part;
    part.name = std::move(*name);
    part.zipEntry = i;
    state->parts.push_back(std::move(part));
  }

  std::optional<size_t> types = state->find("/[Content_Types].xml");
  if (!types) failure.raise("no [Content_Types].xml, so not an Office Open XML package");
  pugi::xml_node root = state->xml(*types);
  for (pugi::xml_node item = root.first_child(); item; item = item.next_sibling()) {
    // Matched by local name: the namespace is checked by no Office program.
    std::string_view kind = localName(item);
    std::string type = item.attribute("ContentType").value();
    if (kind == "Default") {
      std::string_view extension = item.attribute("Extension").value();
      if (extension.starts_with('.')) extension.remove_prefix(1);
      state->defaults.emplace(asciiLower(extension), std::move(type));
    } else if (kind == "Override") {
      std::string_view partName = item.attribute("PartName").value();
      if (!partName.empty()) state->overrides.emplace(foldName(partName), std::move(type));
    }
  }
  return state;
}

}  // namespace

namespace detail {

std::optional<size_t> PackageState::find(std::string_view name) const {
  auto it = byKey.find(foldName(name));
  if (it == byKey.end()) return std::nullopt;
  return it->second;
}

namespace {
thread_local PartReadLog* partReadLog = nullptr;
}  // namespace

std::string PackageState::read(const PartEntry& part) const {
  const ZipEntry& entry = zip.entries()[part.zipEntry];
  if (partReadLog) partReadLog->add(entry.name);
  return zip.read(entry, zipFailure);
}

// Parses `bytes` of `part`, keeping the tree or the failure, and resolves
// its markup compatibility; `lazy` leaves the content of the root's
// children to expand(), which resolves each as it parses it.
void PackageState::parse(PartEntry& part, std::string bytes, bool markupTaken, bool lazy) {
  uint64_t unbounded = UINT64_MAX;
  uint64_t& budget = markupTaken ? unbounded : markupLeft;
  part.markupCompatibility = markupCompatibilityIn(bytes);
  XmlParse parse =
      lazy ? parseXmlDeferred(std::move(bytes), budget) : parseXml(std::move(bytes), budget);
  if (!parse.tree) {
    part.error = failure.make("part \"" + part.name + "\": " + parse.error);
    return;
  }
  part.tree = std::move(parse.tree);
  const pugi::xml_node root = part.tree->document.document_element();
  if (!part.markupCompatibility.any()) return;
  if (!part.tree->deferred.empty())
    for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling())
      if (replacedByContent(child, understood, part.markupCompatibility)) expandOnce(part, child);
  resolveMarkupCompatibility(root, understood, part.markupCompatibility);
}

pugi::xml_node PackageState::xml(size_t index, bool lazy) {
  PartEntry& part = parts[index];
  if (!part.read) {
    try {
      parse(part, read(part), part.markupTaken, lazy);
    } catch (const AutomationError& e) {
      part.error = e;
    }
    part.read = true;
  }
  if (part.error) throw *part.error;
  pugi::xml_node root = part.tree->document.document_element();
  if (!lazy && !part.tree->deferred.empty())
    for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling())
      expand(index, child);
  return root;
}

void PackageState::expand(size_t index, pugi::xml_node child) {
  PartEntry& part = parts[index];
  if (!part.read) xml(index, true);
  if (part.error) throw *part.error;
  if (expandOnce(part, child))
    resolveMarkupCompatibility(child, understood, part.markupCompatibility);
}

bool PackageState::expandOnce(PartEntry& part, pugi::xml_node child) {
  if (!part.tree->deferred.contains(child.internal_object())) return false;
  std::string error;
  if (!expandXml(*part.tree, child, error)) {
    part.error = failure.make("part \"" + part.name + "\": " + error);
    throw *part.error;
  }
  return true;
}

bool PackageState::scan(size_t index, const std::function<bool(const std::string&)>& read) {
  PartEntry& part = parts[index];
  if (part.read || part.markupTaken) return false;
  std::string bytes;
  try {
    bytes = this->read(part);
  } catch (const AutomationError& e) {
    part.error = e;
    part.read = true;
    throw;
  }
  std::string error;
  if (!takeXmlMarkup(bytes, markupLeft, error)) {
    part.error = failure.make("part \"" + part.name + "\": " + error);
    part.read = true;
    throw *part.error;
  }
  part.markupTaken = true;
  if (read(bytes)) return true;
  try {
    parse(part, std::move(bytes), true);
  } catch (const AutomationError& e) {
    part.error = e;
  }
  part.read = true;
  return false;
}

std::vector<Relationship> PackageState::loadRelationships(std::string_view source) {
  std::vector<Relationship> rels;
  std::optional<size_t> relsPart = find(relsPartOf(source));
  if (!relsPart) return rels;
  pugi::xml_node root = xml(*relsPart);
  for (pugi::xml_node item = root.first_child(); item; item = item.next_sibling()) {
    if (item.type() != pugi::node_element || localName(item) != "Relationship") continue;
    Relationship rel;
    rel.id = item.attribute("Id").value();
    rel.type = item.attribute("Type").value();
    rel.target = item.attribute("Target").value();
    rel.external = equalsNoCase(item.attribute("TargetMode").value(), "External");
    if (!rel.external) rel.targetPart = resolveTarget(source, rel.target);
    rels.push_back(std::move(rel));
  }
  return rels;
}

std::string PackageState::contentType(std::string_view name) const {
  if (auto it = overrides.find(foldName(name)); it != overrides.end()) return it->second;
  std::string_view last = name.substr(name.rfind('/') + 1);
  size_t dot = last.rfind('.');
  if (dot == std::string_view::npos) return {};
  if (auto it = defaults.find(asciiLower(last.substr(dot + 1))); it != defaults.end())
    return it->second;
  return {};
}

}  // namespace detail

FileKind sniffFileKind(std::string_view head) {
  if (head.size() >= 4 && head.starts_with("PK") &&
      (head.substr(2, 2) == "\3\4" || head.substr(2, 2) == "\5\6" || head.substr(2, 2) == "\7\x08"))
    return FileKind::Zip;
  if (head.starts_with(kOle2Signature)) return FileKind::Ole2;
  return FileKind::Other;
}

std::string resolveTarget(std::string_view source, std::string_view target) {
  std::string t(target.substr(0, target.find('#')));
  for (char& c : t)
    if (c == '\\') c = '/';
  if (t.empty()) return {};
  std::vector<std::string_view> segments;
  auto push = [&segments](std::string_view path) {
    size_t start = 0;
    while (start <= path.size()) {
      size_t end = path.find('/', start);
      if (end == std::string_view::npos) end = path.size();
      std::string_view segment = path.substr(start, end - start);
      start = end + 1;
      if (segment.empty() || segment == ".") continue;
      if (segment == "..") {
        if (segments.empty()) return false;
        segments.pop_back();
      } else {
        segments.push_back(segment);
      }
    }
    return true;
  };
  if (t.front() != '/' && !push(source.substr(0, source.rfind('/') + 1))) return {};
  if (!push(t) || segments.empty()) return {};
  std::string resolved;
  for (std::string_view s : segments) {
    resolved += '/';
    resolved += s;
  }
  return resolved;
}

// Part ----------------------------------------------------------------------

const std::string& Part::name() const { return state_ ? state_->parts[index_].name : kEmpty; }

std::string Part::contentType() const { return state_ ? state_->contentType(name()) : kEmpty; }

uint64_t Part::size() const {
  return state_ ? state_->zip.entries()[state_->parts[index_].zipEntry].size : 0;
}

pugi::xml_node Part::xml() const { return state_ ? state_->xml(index_) : pugi::xml_node(); }

pugi::xml_node Part::lazyXml() const {
  return state_ ? state_->xml(index_, true) : pugi::xml_node();
}

pugi::xml_node Part::expand(pugi::xml_node child) const {
  if (state_ && child) state_->expand(index_, child);
  return child;
}

bool Part::scan(const std::function<bool(const std::string&)>& read) const {
  return state_ && state_->scan(index_, read);
}

std::string Part::bytes() const {
  if (!state_) return {};
  return state_->read(state_->parts[index_]);
}

const std::vector<Relationship>& Part::relationships() const {
  if (!state_) return kNoRelationships;
  PartEntry& part = state_->parts[index_];
  if (!part.relsLoaded) {
    part.rels = state_->loadRelationships(part.name);
    part.relsLoaded = true;
  }
  return part.rels;
}

namespace {

const Relationship* findById(const std::vector<Relationship>& rels, std::string_view id) {
  for (const Relationship& r : rels)
    if (r.id == id) return &r;
  return nullptr;
}

}  // namespace

const Relationship* Part::relationship(std::string_view id) const {
  return findById(relationships(), id);
}

Part Part::relatedById(std::string_view id) const {
  const Relationship* rel = relationship(id);
  if (!rel || rel->external || rel->targetPart.empty()) return {};
  std::optional<size_t> index = state_->find(rel->targetPart);
  return index ? Part(state_, *index) : Part();
}

Part Part::related(std::string_view type) const {
  std::vector<Part> all = relatedAll(type);
  return all.empty() ? Part() : all.front();
}

std::vector<Part> Part::relatedAll(std::string_view type) const {
  std::vector<Part> found;
  for (const Relationship& r : relationships()) {
    if (r.external || r.targetPart.empty() || !sameRelationshipType(r.type, type)) continue;
    if (std::optional<size_t> index = state_->find(r.targetPart))
      found.push_back(Part(state_, *index));
  }
  return found;
}

// PartReadLog ---------------------------------------------------------------

PartReadLog::PartReadLog() : outer_(detail::partReadLog) { detail::partReadLog = this; }
PartReadLog::~PartReadLog() { detail::partReadLog = outer_; }

void PartReadLog::add(const std::string& entry) {
  if (std::find(entries_.begin(), entries_.end(), entry) == entries_.end())
    entries_.push_back(entry);
}

// Package -------------------------------------------------------------------

Package::Package(std::unique_ptr<detail::PackageState> state) : state_(std::move(state)) {}
Package::Package(Package&&) noexcept = default;
Package& Package::operator=(Package&&) noexcept = default;
Package::~Package() = default;

Package Package::open(const fs::path& file, const OpenOptions& options) {
  const Failure failure{options.cannotOpenNumber, options.errorSource, file.string()};
  uint64_t size = 0;
  UniqueFd fd;
  try {
    fd = openRegularFile(file, size);
  } catch (const AutomationError& e) {
    throw e.withDefaultSource(options.errorSource);
  }
  checkFileSize(size, failure);
  switch (sniffFileKind(readHead(fd.get()))) {
    case FileKind::Zip:
      return Package(buildState(
          ZipArchive::fromFile(std::move(fd), size, kPackageBounds, zipFailureOf(failure)),
          failure, options.understood));
    case FileKind::Ole2: {
      if (options.convertTo == ConvertTo::None)
        failure.raise("a legacy binary Office file, and no conversion was asked for");
      ConvertedFile converted =
          convertLegacyFile(fd.get(), options.convertTo, options.conversionTimeout, failure);
      UniqueFd out;
      try {
        out = openRegularFile(converted.file, size);
      } catch (const AutomationError&) {
        failure.raise("the file LibreOffice converted cannot be opened");
      }
      checkFileSize(size, failure);
      if (sniffFileKind(readHead(out.get())) != FileKind::Zip)
        failure.raise("LibreOffice did not produce an Office Open XML package");
      // The open descriptor keeps the file readable after its folder is removed.
      Package pkg(buildState(
          ZipArchive::fromFile(std::move(out), size, kPackageBounds, zipFailureOf(failure)),
          failure, options.understood));
      pkg.state_->converted = true;
      return pkg;
    }
    case FileKind::Other:
      break;
  }
  failure.raise("neither an Office Open XML package nor a legacy binary Office file");
}

Package Package::fromBytes(std::string bytes, const OpenOptions& options, std::string name) {
  const Failure failure{options.cannotOpenNumber, options.errorSource, std::move(name)};
  checkFileSize(bytes.size(), failure);
  switch (sniffFileKind(std::string_view(bytes).substr(0, 8))) {
    case FileKind::Zip:
      return Package(buildState(
          ZipArchive::fromBytes(std::move(bytes), kPackageBounds, zipFailureOf(failure)),
          failure, options.understood));
    case FileKind::Ole2:
      failure.raise("a legacy binary Office file, which is converted only from a file");
    case FileKind::Other:
      break;
  }
  failure.raise("neither an Office Open XML package nor a legacy binary Office file");
}

bool Package::converted() const { return state_->converted; }

std::vector<Part> Package::parts() const {
  std::vector<Part> all;
  all.reserve(state_->parts.size());
  for (size_t i = 0; i < state_->parts.size(); ++i) all.push_back(Part(state_.get(), i));
  return all;
}

Part Package::part(std::string_view name) const {
  std::optional<size_t> index = state_->find(name);
  return index ? Part(state_.get(), *index) : Part();
}

std::string Package::contentType(std::string_view name) const { return state_->contentType(name); }

const std::vector<Relationship>& Package::relationships() const {
  if (!state_->packageRelsLoaded) {
    state_->packageRels = state_->loadRelationships("/");
    state_->packageRelsLoaded = true;
  }
  return state_->packageRels;
}

Part Package::related(std::string_view type) const {
  std::vector<Part> all = relatedAll(type);
  return all.empty() ? Part() : all.front();
}

std::vector<Part> Package::relatedAll(std::string_view type) const {
  std::vector<Part> found;
  for (const Relationship& r : relationships()) {
    if (r.external || r.targetPart.empty() || !sameRelationshipType(r.type, type)) continue;
    if (Part p = part(r.targetPart)) found.push_back(p);
  }
  return found;
}

Part Package::mainPart() const { return related(reltype::kOfficeDocument); }

}  // namespace bq::office
