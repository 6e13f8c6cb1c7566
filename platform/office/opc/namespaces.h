// XML namespaces and relationship types of Office Open XML, with the Strict
// and Transitional forms of each taken as one.
//
// Every XML part that Package hands out has been rewritten once after
// parsing so that the models can match names as plain strings: each element
// and attribute name is the canonical prefix of its namespace's kind, a ":",
// and the local name ("x:sheetData", "w:p", "a:t", "r:id"), whatever prefixes
// or default namespace the producer chose and whether it wrote Strict or
// Transitional URIs. Names in no namespace (unprefixed attributes, elements
// outside any default namespace) keep their bare local name; names in a
// namespace the table below does not know keep the prefix they were written
// with, behind a "?" ("?w16cid:durableId"; "?:name" for an unknown default
// namespace), which no producer can declare, so they never match a known
// name by accident. The xmlns declarations stay in the tree as written and
// mean nothing any more.
//
// Thread safety: all functions are pure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace bq::office {

enum class Ns : uint8_t {
  None,     // no namespace
  Unknown,  // a namespace outside the table
  Xml,      // xml: (xml:space)
  // Office Open XML; canonical prefix in the comment.
  SpreadsheetML,          // x
  WordprocessingML,       // w
  PresentationML,         // p
  DrawingML,              // a
  Chart,                  // c
  ChartDrawing,           // cdr
  SpreadsheetDrawing,     // xdr
  WordprocessingDrawing,  // wp
  Picture,                // pic
  Diagram,                // dgm
  Relationships,          // r (relationship ids inside parts: r:id, r:embed)
  Math,                   // m
  ExtendedProperties,     // ep
  DocPropsVTypes,         // vt
  // Open Packaging Conventions.
  ContentTypes,          // ct
  PackageRelationships,  // pr
  CoreProperties,        // cp
  DublinCore,            // dc
  DublinCoreTerms,       // dcterms
  MarkupCompatibility,   // mc
  // VML, still written by Office for comments, form controls and fallbacks.
  Vml,            // v
  VmlOffice,      // o
  VmlExcel,       // xvml
  VmlWord,        // w10
  VmlPowerPoint,  // pvml
  // Extensions of later Office versions (the names found in mc:Choice Requires).
  Word2006,                   // wne
  Word2010,                   // w14
  Word2012,                   // w15
  WordprocessingShape,        // wps
  WordprocessingGroup,        // wpg
  WordprocessingCanvas,       // wpc
  WordprocessingInk,          // wpi
  WordprocessingDrawing2010,  // wp14
  Drawing2010,                // a14
  PowerPoint2010,             // p14
  PowerPoint2012,             // p15
  Spreadsheet2009,            // x14
  Spreadsheet2009ac,          // x14ac
  Spreadsheet2010,            // x15
  Excel2006,                  // xm
  Chart2007,                  // c14
  ChartEx,                    // cx
};

// The number of kinds: Ns values are 0 .. kNsKinds - 1.
inline constexpr size_t kNsKinds = static_cast<size_t>(Ns::ChartEx) + 1;

// The namespace kind of `uri`, Strict or Transitional; None for the empty
// URI, Unknown for one outside the table.
Ns namespaceKind(std::string_view uri);

// The Transitional URI of `uri` when it is a Strict one, else `uri` itself.
std::string_view transitionalNamespace(std::string_view uri);

// The canonical prefix of `kind` ("x", "w", ...), "" for None, "?" for Unknown.
std::string_view canonicalPrefix(Ns kind);

// The kind named by canonical prefix `prefix`; Unknown for anything else
// (the "?" prefixes among them).
Ns kindOfPrefix(std::string_view prefix);

// Names in parts handed out by Package (see above); the same of their nodes
// in detail/xml_nodes.h.
std::string_view localName(const char* qualifiedName);

// A set of namespace kinds: the extensions a model understands when it picks
// a branch of mc:AlternateContent.
class NsSet {
 public:
  constexpr NsSet() = default;
  constexpr NsSet(std::initializer_list<Ns> kinds) {
    for (Ns k : kinds) bits_ |= bit(k);
  }
  constexpr bool contains(Ns k) const { return (bits_ & bit(k)) != 0; }
  constexpr NsSet operator|(NsSet other) const {
    NsSet s;
    s.bits_ = bits_ | other.bits_;
    return s;
  }
  // The kinds of the standard itself, Strict or Transitional, with OPC,
  // markup compatibility and VML (those listed before Word2006 in Ns, but
  // not None or Unknown): what every model understands.
  static NsSet standard();

 private:
  static constexpr uint64_t bit(Ns k) { return uint64_t{1} << static_cast<unsigned>(k); }
  uint64_t bits_ = 0;
};

// Relationship types. The Transitional form is the one these constants hold;
// a Strict type (http://purl.oclc.org/ooxml/officeDocument/relationships/...)
// matches its Transitional twin, including the few whose names differ
// (extendedProperties, customProperties, metadata/thumbnail).
namespace reltype {
inline constexpr std::string_view kOfficeDocument =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument";
inline constexpr std::string_view kCoreProperties =
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties";
inline constexpr std::string_view kExtendedProperties =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties";
inline constexpr std::string_view kThumbnail =
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/thumbnail";
inline constexpr std::string_view kStyles =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles";
inline constexpr std::string_view kTheme =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/theme";
inline constexpr std::string_view kSettings =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/settings";
inline constexpr std::string_view kFontTable =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/fontTable";
inline constexpr std::string_view kNumbering =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/numbering";
inline constexpr std::string_view kHeader =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/header";
inline constexpr std::string_view kFooter =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/footer";
inline constexpr std::string_view kWorksheet =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";
inline constexpr std::string_view kChartsheet =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/chartsheet";
inline constexpr std::string_view kSharedStrings =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings";
inline constexpr std::string_view kDrawing =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/drawing";
inline constexpr std::string_view kChart =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/chart";
inline constexpr std::string_view kSlide =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slide";
inline constexpr std::string_view kSlideLayout =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slideLayout";
inline constexpr std::string_view kSlideMaster =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slideMaster";
inline constexpr std::string_view kImage =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";
inline constexpr std::string_view kHyperlink =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/hyperlink";
inline constexpr std::string_view kAudio =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/audio";
inline constexpr std::string_view kVideo =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/video";
inline constexpr std::string_view kMedia =
    "http://schemas.microsoft.com/office/2007/relationships/media";
}  // namespace reltype

// The Transitional form of relationship type `type` (see above); other types
// unchanged.
std::string transitionalRelationshipType(std::string_view type);

// True when `a` and `b` name the same relationship type: equal after
// transitionalRelationshipType, ASCII letters compared without regard to case.
bool sameRelationshipType(std::string_view a, std::string_view b);

}  // namespace bq::office
