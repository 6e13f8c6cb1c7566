#include "platform/office/testing/test_packages.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace bq::office::testing {

namespace fs = std::filesystem;

std::vector<Entry> workbookHead(const std::string& sheets, const std::string& relationships) {
  return {
      {"[Content_Types].xml",
       "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
       "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
       "<Default Extension=\"rels\" "
       "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
       "</Types>"},
      {"_rels/.rels", "<Relationships xmlns=\"" + kPkgRel + "\"><Relationship Id=\"rId1\" Type=\"" +
                          kRel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
      {"xl/workbook.xml", "<workbook xmlns=\"" + kMain + "\" xmlns:r=\"" + kRel + "\"><sheets>" +
                              sheets + "</sheets></workbook>"},
      {"xl/_rels/workbook.xml.rels",
       "<Relationships xmlns=\"" + kPkgRel + "\">" + relationships + "</Relationships>"}};
}

void writeFile(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + file.string());
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

}  // namespace bq::office::testing
