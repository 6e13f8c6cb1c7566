// The package layer under the Word, Excel and PowerPoint object models: an
// Office file opened by its content, its parts found through content types
// and relationships, and each XML part parsed once, on first use.
//
//   OpenOptions options;
//   options.convertTo = ConvertTo::Xlsx;                   // a legacy .xls becomes xlsx
//   Package pkg = Package::open(path, options);
//   Part workbook = pkg.mainPart();                        // by relationship type
//   Part styles = workbook.related(reltype::kStyles);      // empty if absent
//   pugi::xml_node root = workbook.xml();                  // "x:workbook"
//
// Opening looks at the first bytes, not at the name: a zip archive is read
// as an Office Open XML package; an OLE2 compound file (a .doc, .xls or .ppt
// of Office 97-2003) is converted by LibreOffice into the format the caller
// names (legacy_conversion.h) and the result opened in its place; anything
// else cannot be opened. A zip without "[Content_Types].xml" is no package.
//
// Failures. A missing file fails as the original's file statements did (53
// "File not found", 76 "Path not found" when its folder is missing too, 70
// "Permission denied", 75 for a folder or something that is no regular
// file). Everything else that makes the file unusable, at open or later when
// a part is read (not a package, damaged zip, a bound of limits.h exceeded,
// XML that is not well-formed, a legacy file that cannot be converted),
// throws AutomationError with the number and source of OpenOptions and a
// description naming the file, the part, and the cause (with the byte offset
// of an XML fault). The models treat that as Office treats a file it cannot
// open. Lookups never throw for what is merely absent: a missing part, a
// relationship whose target does not exist, an external target.
//
// Part names. A part is named as in OPC: "/" followed by the zip entry name
// ("/xl/workbook.xml"). Names are matched without regard to ASCII case and
// with %XX escapes decoded, since producers differ from the entry names in
// both; a "\" in an entry name counts as "/". Zip entries whose names are
// absolute, carry a drive, or contain "." or ".." or empty segments are not
// parts; nor are folder entries. When two
// entries fold to the same name, the first one is the part.
//
// Lifetime and ownership. Part handles and the pugixml nodes they hand out
// point into the Package and stay valid while it lives (also when the
// Package object is moved; a moved-from Package may only be destroyed or
// assigned to). An empty Part behaves as a null object: its lookups give
// empty results, xml() gives an empty node.
//
// Thread safety: a package and everything taken from it belong to one
// thread at a time; parsing on first use mutates the package.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/office/legacy/convert_to.h"
#include "platform/office/opc/namespaces.h"
#include "platform/office/opc/xml_handles.h"
#include "platform/office/shared/limits.h"

namespace bq::office {

// The number an Office application's automation raises for a file it cannot
// open (Excel's Workbooks.Open; also the platform's "Application-defined or
// object-defined error"). The default of OpenOptions; the Word and
// PowerPoint models pass their application's own.
inline constexpr int32_t kCannotOpenFile = 1004;

struct OpenOptions {
  ConvertTo convertTo = ConvertTo::None;
  int32_t cannotOpenNumber = kCannotOpenFile;
  std::string errorSource;
  std::chrono::milliseconds conversionTimeout = limits::kConversionTimeout;
  // The namespaces the model understands: markup compatibility is resolved
  // with them in every part (markup_compat.h).
  NsSet understood = NsSet::standard();
};

// What the first bytes of a file say it is.
enum class FileKind { Zip, Ole2, Other };
FileKind sniffFileKind(std::string_view head);

struct Relationship {
  std::string id;
  std::string type;       // as written (Strict or Transitional)
  std::string target;     // as written
  bool external = false;  // TargetMode="External": a URI outside the package, never opened
  // Internal targets: the part name the target resolves to against the
  // source part ("../media/a.png" from "/xl/drawings/d.xml" gives
  // "/xl/media/a.png"; "/xl/x.xml" stays), whether or not that part exists.
  // Empty for external targets and for targets that climb above the root.
  std::string targetPart;
};

namespace detail {
struct PackageState;
}

class Part {
 public:
  Part() = default;

  explicit operator bool() const { return state_ != nullptr; }
  bool empty() const { return state_ == nullptr; }

  // "/xl/workbook.xml" as the zip entry spells it; empty for an empty handle.
  const std::string& name() const;
  // From [Content_Types].xml: the Override for this part, else the Default
  // for its extension (without regard to case), else empty.
  std::string contentType() const;
  // Declared uncompressed size.
  uint64_t size() const;

  // The root element of the part, parsed on the first call and kept. Names carry canonical prefixes
  // (namespaces.h); markup compatibility is resolved (markup_compat.h). Throws as described above
  // when the part is not well-formed or exceeds a bound; the failure is kept and thrown again by
  // later calls.
  pugi::xml_node xml() const;
  // The root element for a reader that takes a few of its children (a style
  // sheet): the root's child elements come with their attributes, and the
  // content of each (its children and text) is parsed when expand() is
  // asked for it. Markup budget, checks and failures are xml()'s; xml()
  // afterwards gives the whole tree.
  pugi::xml_node lazyXml() const;
  // `child`, a child element of lazyXml()'s root, with its content parsed;
  // any other node as it is. Throws as xml() does.
  pugi::xml_node expand(pugi::xml_node child) const;
  // The part's bytes, read anew on each call.
  std::string bytes() const;

  // For a model that takes what it needs from the part's text in one pass
  // instead of from a tree. Unless the part has been parsed or scanned
  // already, reads its bytes, takes their markup from the package's budget
  // as xml() does, and calls `read` with them (NUL-terminated, as
  // std::string holds them). True when `read` returned true: it has read the
  // part. Otherwise `read` was not sure it reads the bytes as the parser
  // would, markup compatibility resolved (or was not called), and the part has been parsed as xml()
  // parses it: the caller goes on with xml(). Throws what xml() would throw for a damaged part or
  // an exceeded bound, also when `read` is not called.
  bool scan(const std::function<bool(const std::string&)>& read) const;

  // Relationships whose source is this part, from its .rels part (none when
  // there is none), in document order. Throws when the .rels part is
  // unusable.
  const std::vector<Relationship>& relationships() const;
  // The relationship with id `id` (exact comparison), or null.
  const Relationship* relationship(std::string_view id) const;
  // The part that relationship `id` targets; empty when there is no such
  // relationship, it is external, or its target does not exist.
  Part relatedById(std::string_view id) const;
  // The target of the first internal relationship of `type` (Strict types
  // match their Transitional twins) whose part exists; empty if none.
  Part related(std::string_view type) const;
  // The existing targets of all relationships of `type`, in order.
  std::vector<Part> relatedAll(std::string_view type) const;

  bool operator==(const Part& other) const = default;

 private:
  friend class Package;
  Part(detail::PackageState* state, size_t index) : state_(state), index_(index) {}
  detail::PackageState* state_ = nullptr;
  size_t index_ = 0;
};

class Package {
 public:
  // Opens the file `file` (a native path). REQUIRES: a path the caller has
  // already mapped (common/winpath.h).
  static Package open(const std::filesystem::path& file, const OpenOptions& options = {});

  // Opens a package held in memory; `name` stands for the file in errors.
  // Only zip packages: a legacy file is converted from a file on disk only,
  // and in memory cannot be opened.
  static Package fromBytes(std::string bytes, const OpenOptions& options = {},
                           std::string name = "(in memory)");

  Package(Package&&) noexcept;
  Package& operator=(Package&&) noexcept;
  ~Package();

  // True when the file was a legacy binary file that LibreOffice converted.
  bool converted() const;

  // Every part, in the order of the zip directory.
  std::vector<Part> parts() const;
  // The part named `name` ("/xl/workbook.xml"; the leading "/" may be left
  // out); empty if none.
  Part part(std::string_view name) const;
  // The content type of part `name`, as Part::contentType; empty if none.
  std::string contentType(std::string_view name) const;

  // The package's own relationships (/_rels/.rels), as for a Part.
  const std::vector<Relationship>& relationships() const;
  Part related(std::string_view type) const;
  std::vector<Part> relatedAll(std::string_view type) const;
  // The main part: the target of the officeDocument relationship
  // (document.xml, workbook.xml, presentation.xml); empty if it has none.
  Part mainPart() const;

 private:
  explicit Package(std::unique_ptr<detail::PackageState> state);
  std::unique_ptr<detail::PackageState> state_;
};

// Records, while it lives, the zip entry name of every part whose bytes a
// package of this thread reads (to parse it, scan it or hand out bytes()),
// each once, in the order first read. For benchmarks and tests that need
// to know which parts a model reads ("word/document.xml", "_rels/.rels").
// Logs nest: the innermost one of the thread records. It costs a reader
// nothing while none lives.
class PartReadLog {
 public:
  PartReadLog();
  ~PartReadLog();
  PartReadLog(const PartReadLog&) = delete;
  PartReadLog& operator=(const PartReadLog&) = delete;

  const std::vector<std::string>& entries() const { return entries_; }

 private:
  friend struct detail::PackageState;
  void add(const std::string& entry);
  PartReadLog* outer_;
  std::vector<std::string> entries_;
};

// The part name that relationship target `target` of a part named `source`
// ("/" for the package itself) resolves to (see Relationship::targetPart);
// empty when it climbs above the root or names nothing. Exposed for tests.
std::string resolveTarget(std::string_view source, std::string_view target);

}  // namespace bq::office
