#include "platform/office/testing/test_packages.h"

#include <fstream>
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

}  // namespace bq::office::testing
