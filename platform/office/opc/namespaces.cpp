#include "platform/office/opc/namespaces.h"

#include <array>
#include <cstring>

#include "platform/office/opc/detail/xml_nodes.h"
#include "platform/office/shared/detail/text_util.h"

namespace bq::office {
namespace {

struct NsEntry {
  Ns kind;
  std::string_view prefix;
  std::string_view transitional;
  std::string_view strict;  // empty when Strict uses the same URI
};

// One row per kind, in the order of Ns.
constexpr std::array<NsEntry, 45> kTable{{
    {Ns::None, "", "", ""},
    {Ns::Unknown, "?", "", ""},
    {Ns::Xml, "xml", "http://www.w3.org/XML/1998/namespace", ""},
    {Ns::SpreadsheetML, "x", "http://schemas.openxmlformats.org/spreadsheetml/2006/main",
     "http://purl.oclc.org/ooxml/spreadsheetml/main"},
    {Ns::WordprocessingML, "w", "http://schemas.openxmlformats.org/wordprocessingml/2006/main",
     "http://purl.oclc.org/ooxml/wordprocessingml/main"},
    {Ns::PresentationML, "p", "http://schemas.openxmlformats.org/presentationml/2006/main",
     "http://purl.oclc.org/ooxml/presentationml/main"},
    {Ns::DrawingML, "a", "http://schemas.openxmlformats.org/drawingml/2006/main",
     "http://purl.oclc.org/ooxml/drawingml/main"},
    {Ns::Chart, "c", "http://schemas.openxmlformats.org/drawingml/2006/chart",
     "http://purl.oclc.org/ooxml/drawingml/chart"},
    {Ns::ChartDrawing, "cdr", "http://schemas.openxmlformats.org/drawingml/2006/chartDrawing",
     "http://purl.oclc.org/ooxml/drawingml/chartDrawing"},
    {Ns::SpreadsheetDrawing, "xdr",
     "http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing",
     "http://purl.oclc.org/ooxml/drawingml/spreadsheetDrawing"},
    {Ns::WordprocessingDrawing, "wp",
     "http://schemas.openxmlformats.org/drawingml/2006/wordprocessingDrawing",
     "http://purl.oclc.org/ooxml/drawingml/wordprocessingDrawing"},
    {Ns::Picture, "pic", "http://schemas.openxmlformats.org/drawingml/2006/picture",
     "http://purl.oclc.org/ooxml/drawingml/picture"},
    {Ns::Diagram, "dgm", "http://schemas.openxmlformats.org/drawingml/2006/diagram",
     "http://purl.oclc.org/ooxml/drawingml/diagram"},
    {Ns::Relationships, "r", "http://schemas.openxmlformats.org/officeDocument/2006/relationships",
     "http://purl.oclc.org/ooxml/officeDocument/relationships"},
    {Ns::Math, "m", "http://schemas.openxmlformats.org/officeDocument/2006/math",
     "http://purl.oclc.org/ooxml/officeDocument/math"},
    {Ns::ExtendedProperties, "ep",
     "http://schemas.openxmlformats.org/officeDocument/2006/extended-properties",
     "http://purl.oclc.org/ooxml/officeDocument/extendedProperties"},
    {Ns::DocPropsVTypes, "vt",
     "http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes",
     "http://purl.oclc.org/ooxml/officeDocument/docPropsVTypes"},
    {Ns::ContentTypes, "ct", "http://schemas.openxmlformats.org/package/2006/content-types", ""},
    {Ns::PackageRelationships, "pr", "http://schemas.openxmlformats.org/package/2006/relationships",
     ""},
    {Ns::CoreProperties, "cp",
     "http://schemas.openxmlformats.org/package/2006/metadata/core-properties", ""},
    {Ns::DublinCore, "dc", "http://purl.org/dc/elements/1.1/", ""},
    {Ns::DublinCoreTerms, "dcterms", "http://purl.org/dc/terms/", ""},
    {Ns::MarkupCompatibility, "mc", "http://schemas.openxmlformats.org/markup-compatibility/2006",
     ""},
    {Ns::Vml, "v", "urn:schemas-microsoft-com:vml", ""},
    {Ns::VmlOffice, "o", "urn:schemas-microsoft-com:office:office", ""},
    {Ns::VmlExcel, "xvml", "urn:schemas-microsoft-com:office:excel", ""},
    {Ns::VmlWord, "w10", "urn:schemas-microsoft-com:office:word", ""},
    {Ns::VmlPowerPoint, "pvml", "urn:schemas-microsoft-com:office:powerpoint", ""},
    {Ns::Word2006, "wne", "http://schemas.microsoft.com/office/word/2006/wordml", ""},
    {Ns::Word2010, "w14", "http://schemas.microsoft.com/office/word/2010/wordml", ""},
    {Ns::Word2012, "w15", "http://schemas.microsoft.com/office/word/2012/wordml", ""},
    {Ns::WordprocessingShape, "wps",
     "http://schemas.microsoft.com/office/word/2010/wordprocessingShape", ""},
    {Ns::WordprocessingGroup, "wpg",
     "http://schemas.microsoft.com/office/word/2010/wordprocessingGroup", ""},
    {Ns::WordprocessingCanvas, "wpc",
     "http://schemas.microsoft.com/office/word/2010/wordprocessingCanvas", ""},
    {Ns::WordprocessingInk, "wpi",
     "http://schemas.microsoft.com/office/word/2010/wordprocessingInk", ""},
    {Ns::WordprocessingDrawing2010, "wp14",
     "http://schemas.microsoft.com/office/word/2010/wordprocessingDrawing", ""},
    {Ns::Drawing2010, "a14", "http://schemas.microsoft.com/office/drawing/2010/main", ""},
    {Ns::PowerPoint2010, "p14", "http://schemas.microsoft.com/office/powerpoint/2010/main", ""},
    {Ns::PowerPoint2012, "p15", "http://schemas.microsoft.com/office/powerpoint/2012/main", ""},
    {Ns::Spreadsheet2009, "x14", "http://schemas.microsoft.com/office/spreadsheetml/2009/9/main",
     ""},
    {Ns::Spreadsheet2009ac, "x14ac", "http://schemas.microsoft.com/office/spreadsheetml/2009/9/ac",
     ""},
    {Ns::Spreadsheet2010, "x15", "http://schemas.microsoft.com/office/spreadsheetml/2010/11/main",
     ""},
    {Ns::Excel2006, "xm", "http://schemas.microsoft.com/office/excel/2006/main", ""},
    {Ns::Chart2007, "c14", "http://schemas.microsoft.com/office/drawing/2007/8/2/chart", ""},
    {Ns::ChartEx, "cx", "http://schemas.microsoft.com/office/drawing/2014/chartex", ""},
}};

static_assert([] {
  for (size_t i = 0; i < kTable.size(); ++i)
    if (static_cast<size_t>(kTable[i].kind) != i) return false;
  return true;
}());
static_assert(kTable.size() == kNsKinds);
static_assert(kTable.size() <= 64, "NsSet holds 64 kinds");

const NsEntry& entry(Ns kind) { return kTable[static_cast<size_t>(kind)]; }

// Strict relationship types whose names differ from their Transitional twins.
struct RelRename {
  std::string_view strictSuffix;
  std::string_view transitional;
};
constexpr std::string_view kStrictRelPrefix =
    "http://purl.oclc.org/ooxml/officeDocument/relationships/";
constexpr std::string_view kTransitionalRelPrefix =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
constexpr std::array<RelRename, 3> kRelRenames{{
    {"extendedProperties", reltype::kExtendedProperties},
    {"customProperties",
     "http://schemas.openxmlformats.org/officeDocument/2006/relationships/custom-properties"},
    {"metadata/thumbnail", reltype::kThumbnail},
}};

}  // namespace

Ns namespaceKind(std::string_view uri) {
  if (uri.empty()) return Ns::None;
  for (const NsEntry& e : kTable) {
    if (e.transitional.empty()) continue;
    if (uri == e.transitional || (!e.strict.empty() && uri == e.strict)) return e.kind;
  }
  return Ns::Unknown;
}

std::string_view transitionalNamespace(std::string_view uri) {
  if (uri.starts_with("http://purl.oclc.org/ooxml/")) {
    for (const NsEntry& e : kTable)
      if (!e.strict.empty() && uri == e.strict) return e.transitional;
  }
  return uri;
}

std::string_view canonicalPrefix(Ns kind) { return entry(kind).prefix; }

Ns kindOfPrefix(std::string_view prefix) {
  if (prefix.empty()) return Ns::None;
  for (const NsEntry& e : kTable)
    if (e.prefix == prefix) return e.kind;
  return Ns::Unknown;
}

std::string_view localName(const char* qualifiedName) {
  if (!qualifiedName) return {};
  std::string_view name(qualifiedName);
  size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

std::string_view localName(pugi::xml_node node) { return localName(node.name()); }
std::string_view localName(pugi::xml_attribute attribute) { return localName(attribute.name()); }

namespace {
Ns kindOfName(std::string_view name) {
  size_t colon = name.find(':');
  if (colon == std::string_view::npos) return Ns::None;
  return kindOfPrefix(name.substr(0, colon));
}
}  // namespace

Ns kindOf(pugi::xml_node node) { return kindOfName(node.name()); }
Ns kindOf(pugi::xml_attribute attribute) { return kindOfName(attribute.name()); }

bool is(pugi::xml_node node, Ns kind, std::string_view local) {
  std::string_view name(node.name());
  std::string_view prefix = canonicalPrefix(kind);
  if (prefix.empty()) return name == local;
  return name.size() == prefix.size() + 1 + local.size() && name.starts_with(prefix) &&
         name[prefix.size()] == ':' && name.ends_with(local);
}

NsSet NsSet::standard() {
  // Asked for by every walk over elements: worked out once.
  static const NsSet kStandard = [] {
    NsSet s;
    for (const NsEntry& e : kTable) {
      if (e.kind == Ns::None || e.kind == Ns::Unknown) continue;
      if (static_cast<unsigned>(e.kind) >= static_cast<unsigned>(Ns::Word2006)) break;
      s = s | NsSet{e.kind};
    }
    return s;
  }();
  return kStandard;
}

pugi::xml_node chosenBranch(pugi::xml_node ac, NsSet understood) {
  if (!is(ac, Ns::MarkupCompatibility, "AlternateContent")) return {};
  pugi::xml_node fallback;
  for (pugi::xml_node branch = ac.first_child(); branch; branch = branch.next_sibling()) {
    if (is(branch, Ns::MarkupCompatibility, "Fallback")) {
      if (!fallback) fallback = branch;
      continue;
    }
    if (!is(branch, Ns::MarkupCompatibility, "Choice")) continue;
    // The parser wrote the canonical prefixes into Requires; "?" is a
    // namespace outside the table and never understood.
    std::string_view needed = branch.attribute("Requires").value();
    bool usable = false;
    for (std::string_view token : splitBlanks(needed)) {
      Ns kind = kindOfPrefix(token);
      usable = kind != Ns::Unknown && kind != Ns::None && understood.contains(kind);
      if (!usable) break;
    }
    if (usable) return branch;
  }
  return fallback;
}

pugi::xml_node firstElement(pugi::xml_node parent, std::string_view name) {
  for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling())
    if (child.type() == pugi::node_element && name == child.name()) return child;
  return {};
}

std::string transitionalRelationshipType(std::string_view type) {
  if (!startsWithNoCase(type, kStrictRelPrefix)) return std::string(type);
  std::string_view suffix = type.substr(kStrictRelPrefix.size());
  for (const RelRename& r : kRelRenames)
    if (equalsNoCase(suffix, r.strictSuffix)) return std::string(r.transitional);
  std::string out(kTransitionalRelPrefix);
  out += suffix;
  return out;
}

bool sameRelationshipType(std::string_view a, std::string_view b) {
  return equalsNoCase(transitionalRelationshipType(a), transitionalRelationshipType(b));
}

}  // namespace bq::office
