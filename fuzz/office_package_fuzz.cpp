// Feeds arbitrary bytes to the Office package layer: opens them as a
// package, walks content types and relationships, and parses every part.
//
// Input that starts with "PK" is taken as a zip file as it stands. Any other
// input is cut at NUL bytes into the contents of a fixed list of part names
// and zipped (stored, so the fuzzer reaches the XML and the relationships
// past the zip layer's checksums); each piece is also parsed as XML alone.
#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "common/automation_error.h"
#include "platform/office/namespaces.h"
#include "platform/office/package.h"
#include "platform/office/xml_tree.h"

namespace {

using namespace bq::office;

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "invariant violated: %s\n", what);
  std::abort();
}

constexpr const char* kNames[] = {
    "[Content_Types].xml",
    "_rels/.rels",
    "word/document.xml",
    "word/_rels/document.xml.rels",
    "word/styles.xml",
    "xl/workbook.xml",
    "xl/_rels/workbook.xml.rels",
    "xl/worksheets/sheet1.xml",
    "ppt/slides/slide1.xml",
    "ppt/slides/_rels/slide1.xml.rels",
    "../outside.xml",
    "XL/Worksheets/Sheet1.XML",
};

// The zip of the pieces of `text` (see above), or empty when libzip fails.
std::string zipPieces(std::string_view text, std::vector<std::string>& pieces) {
  size_t from = 0;
  while (from <= text.size() && pieces.size() < std::size(kNames)) {
    size_t to = text.find('\0', from);
    if (to == std::string_view::npos) to = text.size();
    pieces.emplace_back(text.substr(from, to - from));
    from = to + 1;
  }
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* out = zip_source_buffer_create(nullptr, 0, 0, &error);
  zip_error_fini(&error);
  if (!out) return {};
  zip_source_keep(out);
  zip_t* za = zip_open_from_source(out, ZIP_TRUNCATE, nullptr);
  if (!za) {
    zip_source_free(out);  // the reference zip_open_from_source did not take
    zip_source_free(out);  // and the one kept
    return {};
  }
  for (size_t i = 0; i < pieces.size(); ++i) {
    zip_source_t* src = zip_source_buffer(za, pieces[i].data(), pieces[i].size(), 0);
    zip_int64_t index = src ? zip_file_add(za, kNames[i], src, ZIP_FL_OVERWRITE) : -1;
    if (index < 0) {
      if (src) zip_source_free(src);
      continue;
    }
    zip_set_file_compression(za, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
  }
  std::string bytes;
  if (zip_close(za) != 0) {
    zip_discard(za);
  } else if (zip_source_open(out) == 0) {
    char buffer[4096];
    zip_int64_t n;
    while ((n = zip_source_read(out, buffer, sizeof buffer)) > 0) bytes.append(buffer, n);
    zip_source_close(out);
  }
  zip_source_free(out);
  return bytes;
}

// Walks every element of the part (without recursion) and the branches of
// its AlternateContent sections.
size_t walk(pugi::xml_node root) {
  size_t elements = 0;
  pugi::xml_node node = root;
  while (node) {
    if (node.type() == pugi::node_element) {
      ++elements;
      check(*node.name() != '\0', "element without a name");
      if (is(node, Ns::MarkupCompatibility, "AlternateContent")) {
        chosenBranch(node);
        chosenBranch(node, NsSet{Ns::PowerPoint2010, Ns::WordprocessingShape});
      }
    }
    if (node.first_child()) {
      node = node.first_child();
      continue;
    }
    while (node && node != root && !node.next_sibling()) node = node.parent();
    node = node == root ? pugi::xml_node() : node.next_sibling();
  }
  size_t direct = 0;
  forEachElement(root, [&](pugi::xml_node) { ++direct; });
  return elements + direct;
}

void fuzzPackage(std::string bytes) {
  Package pkg = Package::fromBytes(std::move(bytes));
  for (const Part& part : pkg.parts()) {
    check(part.name().starts_with('/'), "part name without a leading slash");
    check(part.name().find("/../") == std::string::npos, "part name climbing out");
    check(pkg.part(part.name()) == part, "part not found by its own name");
    part.contentType();
    try {
      walk(part.xml());
    } catch (const bq::AutomationError& e) {
      check(e.number() == kCannotOpenFile, "unexpected error number for a part");
    }
    try {
      for (const Relationship& r : part.relationships()) {
        check(r.external ? r.targetPart.empty() : true, "external target resolved");
        check(r.targetPart.empty() || r.targetPart.starts_with('/'), "target without slash");
        part.relatedById(r.id);
        part.related(r.type);
      }
    } catch (const bq::AutomationError& e) {
      check(e.number() == kCannotOpenFile, "unexpected error number for relationships");
    }
  }
  try {
    if (Part main = pkg.mainPart()) walk(main.xml());
  } catch (const bq::AutomationError& e) {
    check(e.number() == kCannotOpenFile, "unexpected error number for the main part");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string bytes;
  if (input.starts_with("PK")) {
    bytes = std::string(input);
  } else {
    std::vector<std::string> pieces;
    bytes = zipPieces(input, pieces);
    for (const std::string& piece : pieces) {
      uint64_t budget = bq::office::limits::kMaxXmlMarkupPerPackage;
      XmlParse parse = parseXml(piece, budget);
      check(parse.tree ? parse.error.empty() : !parse.error.empty(), "parse status");
      if (parse.tree) walk(parse.tree->document.document_element());
    }
  }
  // Target resolution on its own: the result is a clean part name or empty.
  std::string resolved = resolveTarget("/xl/worksheets/sheet1.xml", input.substr(0, 200));
  check(resolved.empty() ||
            (resolved.starts_with('/') && resolved.find("/../") == std::string::npos &&
             resolved.find("/./") == std::string::npos &&
             resolved.find("//") == std::string::npos && !resolved.ends_with("/..")),
        "resolved target not a clean part name");
  try {
    fuzzPackage(std::move(bytes));
  } catch (const bq::AutomationError& e) {
    check(e.number() == kCannotOpenFile, "unexpected error number");
  }
  return 0;
}
