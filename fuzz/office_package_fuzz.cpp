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
#include "fuzz/checks.h"
#include "fuzz/zip_pieces.h"
#include "platform/office/opc/package.h"
#include "platform/office/testing/tree_walk.h"

namespace {

using namespace bq::office;

using bqfuzz::check;
using testing::walkPart;

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

void fuzzPackage(std::string bytes) {
  Package pkg = Package::fromBytes(std::move(bytes));
  for (const Part& part : pkg.parts()) {
    check(part.name().starts_with('/'), "part name without a leading slash");
    check(part.name().find("/../") == std::string::npos, "part name climbing out");
    check(pkg.part(part.name()) == part, "part not found by its own name");
    part.contentType();
    try {
      walkPart(part, check);
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
    if (Part main = pkg.mainPart()) walkPart(main, check);
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
    bytes = bqfuzz::zipPieces(input, kNames, pieces);
    for (const std::string& piece : pieces) testing::walkXml(piece, check);
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
