#include "platform/zip/testing/zip_bytes.h"

#include <stdlib.h>
#include <zip.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace bq::zip::testing {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  std::string pattern = (fs::temp_directory_path() / "bq-zip-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

void writeZip(const fs::path& file, const std::vector<Entry>& entries) {
  int error = 0;
  zip_t* za = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!za) throw std::runtime_error("zip_open failed");
  for (const Entry& e : entries) {
    // libzip reads the data at zip_close; the entries outlive it.
    zip_source_t* src = zip_source_buffer(za, e.data.data(), e.data.size(), 0);
    zip_int64_t index = src ? zip_file_add(za, e.name.c_str(), src, ZIP_FL_ENC_UTF_8) : -1;
    if (index < 0) {
      if (src) zip_source_free(src);
      zip_discard(za);
      throw std::runtime_error("zip_file_add failed for " + e.name);
    }
    const int method = e.method != -1 ? e.method : e.store ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
    if (zip_set_file_compression(za, static_cast<zip_uint64_t>(index), method, 0) != 0) {
      zip_discard(za);
      throw std::runtime_error("compression method " + std::to_string(method) + " refused");
    }
  }
  if (zip_close(za) != 0) {
    std::string why = zip_strerror(za);
    zip_discard(za);
    throw std::runtime_error("zip_close failed: " + why);
  }
}

std::string zipBytes(const std::vector<Entry>& entries) {
  ScratchDir dir;
  writeZip(dir / "a.zip", entries);
  return readFile(dir / "a.zip");
}

std::string readFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<Entry> workbookEntries(bool strict) {
  const std::string rel =
      strict ? "http://purl.oclc.org/ooxml/officeDocument/relationships"
             : "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  const std::string main = strict ? "http://purl.oclc.org/ooxml/spreadsheetml/main"
                                  : "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
  return {
      {"[Content_Types].xml",
       R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">
<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>
<Default Extension="XML" ContentType="application/xml"/>
<Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>
<Override PartName="/xl/worksheets/sheet1.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>
</Types>)"},
      {"_rels/.rels",
       R"(<?xml version="1.0" encoding="UTF-8"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type=")" +
           rel + R"(/officeDocument" Target="xl/workbook.xml"/>
</Relationships>)"},
      {"xl/workbook.xml",
       R"(<?xml version="1.0" encoding="UTF-8"?>
<workbook xmlns=")" +
           main + R"(" xmlns:r=")" + rel +
           R"("><sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets></workbook>)"},
      {"xl/_rels/workbook.xml.rels",
       R"(<?xml version="1.0" encoding="UTF-8"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
<Relationship Id="rId1" Type=")" +
           rel + R"(/worksheet" Target="worksheets/sheet1.xml"/>
<Relationship Id="rId2" Type=")" +
           rel + R"(/styles" Target="styles.xml"/>
</Relationships>)"},
      {"xl/worksheets/sheet1.xml",
       R"(<worksheet xmlns=")" + main +
           R"("><sheetData><row r="1"><c r="A1"><v>1</v></c></row></sheetData></worksheet>)"},
      {"xl/styles.xml", R"(<styleSheet xmlns=")" + main + R"("/>)"},
  };
}

namespace {
size_t findRecord(const std::string& bytes, const std::string& name, const char* signature,
                  size_t nameLengthAt, size_t nameAt) {
  for (size_t at = bytes.find(signature); at != std::string::npos;
       at = bytes.find(signature, at + 1)) {
    if (at + nameAt > bytes.size()) break;
    size_t length = static_cast<unsigned char>(bytes[at + nameLengthAt]) |
                    static_cast<unsigned char>(bytes[at + nameLengthAt + 1]) << 8;
    if (bytes.compare(at + nameAt, length, name) == 0 && length == name.size()) return at;
  }
  throw std::runtime_error("no record for " + name);
}
}  // namespace

size_t centralRecordOf(const std::string& bytes, const std::string& name) {
  return findRecord(bytes, name, "PK\1\2", 28, 46);
}

size_t localHeaderOf(const std::string& bytes, const std::string& name) {
  return findRecord(bytes, name, "PK\3\4", 26, 30);
}

void putLe32(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

std::string zip64ClaimBytes() {
  auto le = [](uint64_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>(v >> (8 * i));
    return s;
  };
  const uint64_t claimed = uint64_t{1} << 40;
  std::string bytes = "PK\3\4 junk";
  const uint64_t record = bytes.size();
  bytes += "PK\6\6" + le(44, 8) + le(45, 2) + le(45, 2) + le(0, 4) + le(0, 4) + le(claimed, 8) +
           le(claimed, 8) + le(0, 8) + le(0, 8);
  bytes += "PK\6\7" + le(0, 4) + le(record, 8) + le(1, 4);
  bytes += "PK\5\6" + le(0xFFFF, 2) + le(0xFFFF, 2) + le(0xFFFF, 2) + le(0xFFFF, 2) +
           le(0xFFFFFFFF, 4) + le(0xFFFFFFFF, 4) + le(0, 2);
  return bytes;
}

}  // namespace bq::zip::testing
