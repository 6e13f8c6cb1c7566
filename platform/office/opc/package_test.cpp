#include "platform/office/opc/package.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "common/automation_error.h"
#include "platform/office/testing/test_packages.h"

namespace bq::office {
namespace {

namespace fs = std::filesystem;
using testing::Entry;
using testing::errorOf;

const std::string kRelNs = "http://schemas.openxmlformats.org/package/2006/relationships";
const std::string kTypes =
    R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="xml" ContentType="application/xml"/></Types>)";

std::string rels(const std::string& items) {
  return "<Relationships xmlns=\"" + kRelNs + "\">" + items + "</Relationships>";
}

std::string rel(const std::string& id, std::string_view type, const std::string& target,
                const std::string& extra = "") {
  return "<Relationship Id=\"" + id + "\" Type=\"" + std::string(type) + "\" Target=\"" + target +
         "\" " + extra + "/>";
}

class PackageTest : public ::testing::Test {
 protected:
  fs::path write(const std::string& name, const std::vector<Entry>& entries) {
    fs::path file = dir_ / name;
    testing::writeZip(file, entries);
    return file;
  }
  testing::ScratchDir dir_;
};

TEST_F(PackageTest, FindsPartsByRelationshipTypeTransitionalAndStrict) {
  for (bool strict : {false, true}) {
    SCOPED_TRACE(strict ? "Strict" : "Transitional");
    Package pkg = Package::open(write("book.xlsx", testing::workbookEntries(strict)));
    EXPECT_FALSE(pkg.converted());
    EXPECT_EQ(pkg.parts().size(), 6u);
    Part book = pkg.mainPart();
    ASSERT_TRUE(book);
    EXPECT_EQ(book.name(), "/xl/workbook.xml");
    EXPECT_STREQ(book.xml().name(), "x:workbook");
    pugi::xml_node sheet = book.xml().child("x:sheets").child("x:sheet");
    EXPECT_STREQ(sheet.attribute("r:id").value(), "rId1");

    Part sheet1 = book.relatedById(sheet.attribute("r:id").value());
    EXPECT_EQ(sheet1.name(), "/xl/worksheets/sheet1.xml");
    EXPECT_EQ(book.related(reltype::kWorksheet), sheet1);
    EXPECT_EQ(book.relatedAll(reltype::kWorksheet), std::vector<Part>{sheet1});
    EXPECT_STREQ(sheet1.xml().child("x:sheetData").child("x:row").child("x:c").child_value("x:v"),
                 "1");
    EXPECT_EQ(book.related(reltype::kStyles).name(), "/xl/styles.xml");
    EXPECT_FALSE(book.related(reltype::kChart));
    EXPECT_FALSE(sheet1.related(reltype::kDrawing)) << "a part without .rels has no relationships";
    EXPECT_TRUE(sheet1.relationships().empty());
    ASSERT_EQ(pkg.relationships().size(), 1u);
    EXPECT_EQ(pkg.relationships()[0].targetPart, "/xl/workbook.xml");
  }
}

TEST_F(PackageTest, ContentTypesComeFromOverridesThenDefaultsByExtension) {
  Package pkg = Package::open(write("book.xlsx", testing::workbookEntries()));
  EXPECT_EQ(pkg.mainPart().contentType(),
            "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml");
  EXPECT_EQ(pkg.part("/xl/styles.xml").contentType(), "application/xml")
      << "Default Extension=\"XML\" matches without regard to case";
  EXPECT_EQ(pkg.contentType("_rels/.rels"),
            "application/vnd.openxmlformats-package.relationships+xml");
  EXPECT_EQ(pkg.contentType("/XL/WORKBOOK.XML"), pkg.mainPart().contentType());
  EXPECT_EQ(pkg.contentType("/xl/media/image1.png"), "");
  EXPECT_EQ(pkg.contentType("/noextension"), "");
}

TEST_F(PackageTest, PartNamesMatchWithoutRegardToCaseAndEscapes) {
  std::vector<Entry> entries = testing::workbookEntries();
  entries[4].name = "XL/Worksheets/Sheet1.XML";
  entries[3].data = rels(rel("rId1", reltype::kWorksheet, "worksheets/sheet1.xml") +
                         rel("rId2", reltype::kImage, "media/image%201.png") +
                         rel("rId3", reltype::kImage, "/XL/MEDIA/IMAGE 1.PNG"));
  entries.push_back({"xl/media/image 1.png", "\x89PNG"});
  Package pkg = Package::open(write("book.xlsx", entries));
  Part book = pkg.mainPart();
  Part sheet = book.related(reltype::kWorksheet);
  ASSERT_TRUE(sheet);
  EXPECT_EQ(sheet.name(), "/XL/Worksheets/Sheet1.XML") << "the name as the zip spells it";
  EXPECT_EQ(book.relatedById("rId2").name(), "/xl/media/image 1.png");
  EXPECT_EQ(book.relatedById("rId3"), book.relatedById("rId2"));
  EXPECT_EQ(book.relatedById("rId2").bytes(), "\x89PNG");
  EXPECT_EQ(pkg.part("xl/WORKBOOK.xml"), book) << "the leading slash may be left out";
  EXPECT_FALSE(book.relatedById("RID1")) << "relationship ids compare exactly";
}

TEST(ResolveTarget, ResolvesAgainstTheSourcePart) {
  struct Case {
    const char* source;
    const char* target;
    const char* expected;
  };
  const Case cases[] = {
      {"/", "xl/workbook.xml", "/xl/workbook.xml"},
      {"/", "/xl/workbook.xml", "/xl/workbook.xml"},
      {"/xl/workbook.xml", "worksheets/sheet1.xml", "/xl/worksheets/sheet1.xml"},
      {"/xl/workbook.xml", "/xl/styles.xml", "/xl/styles.xml"},
      {"/xl/drawings/drawing1.xml", "../media/image1.png", "/xl/media/image1.png"},
      {"/xl/drawings/drawing1.xml", "../../docProps/app.xml", "/docProps/app.xml"},
      {"/xl/drawings/drawing1.xml", "./.././charts/chart1.xml", "/xl/charts/chart1.xml"},
      {"/xl/drawings/drawing1.xml", "../../../escape.xml", ""},
      {"/", "../x.xml", ""},
      {"/ppt/slides/slide1.xml", "slide2.xml#frag", "/ppt/slides/slide2.xml"},
      {"/ppt/slides/slide1.xml", "#frag", ""},
      {"/word/document.xml", "media\\image1.png", "/word/media/image1.png"},
      {"/word/document.xml", "media//image1.png", "/word/media/image1.png"},
      {"/word/document.xml", "", ""},
      {"/word/document.xml", "/", ""},
      {"/word/document.xml", "..", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(resolveTarget(c.source, c.target), c.expected) << c.source << " + " << c.target;
}

TEST_F(PackageTest, DanglingExternalAndEscapingTargetsGiveEmptyPartsWithoutErrors) {
  std::vector<Entry> entries = testing::workbookEntries();
  entries[3].data = rels(
      rel("rMissing", reltype::kWorksheet, "worksheets/missing.xml") +
      rel("rExternal", reltype::kWorksheet, "worksheets/sheet1.xml", "TargetMode=\"External\"") +
      rel("rEscape", reltype::kWorksheet, "../../../../xl/worksheets/sheet1.xml") +
      rel("rEmpty", reltype::kWorksheet, "") + "<Relationship Id=\"rNoTarget\" Type=\"" +
      std::string(reltype::kWorksheet) + "\"/>" +
      rel("rSheet", reltype::kWorksheet, "worksheets/sheet1.xml") +
      rel("rLink", reltype::kHyperlink, "http://example.com/a b", "TargetMode=\"external\""));
  Package pkg = Package::open(write("book.xlsx", entries));
  Part book = pkg.mainPart();
  for (const char* id :
       {"rMissing", "rExternal", "rEscape", "rEmpty", "rNoTarget", "rLink", "nope"})
    EXPECT_FALSE(book.relatedById(id)) << id;
  EXPECT_EQ(book.related(reltype::kWorksheet).name(), "/xl/worksheets/sheet1.xml")
      << "the first relationship whose target exists";
  EXPECT_EQ(book.relatedAll(reltype::kWorksheet).size(), 1u);
  ASSERT_NE(book.relationship("rExternal"), nullptr);
  EXPECT_TRUE(book.relationship("rExternal")->external);
  EXPECT_EQ(book.relationship("rExternal")->targetPart, "");
  EXPECT_EQ(book.relationship("rLink")->target, "http://example.com/a b");
  EXPECT_TRUE(book.relationship("rLink")->external) << "TargetMode compares without case";
  EXPECT_EQ(book.relationship("rMissing")->targetPart, "/xl/worksheets/missing.xml");
  EXPECT_EQ(book.relationship("rEscape")->targetPart, "");
  EXPECT_EQ(book.relationship("nope"), nullptr);
}

TEST_F(PackageTest, EntriesWithUnsafeNamesAreNotPartsAndTheFirstOfTwinsWins) {
  std::vector<Entry> entries = testing::workbookEntries();
  for (const char* name : {"../evil.xml", "/abs.xml", "C:/drive.xml", "xl//double.xml",
                           "xl/./dot.xml", "xl/../up.xml", "folder/"})
    entries.push_back({name, "<x/>"});
  entries.push_back({"back\\slash.xml", "<b/>"});
  entries.push_back({"XL/workbook.xml", "<second/>"});
  Package pkg = Package::open(write("book.xlsx", entries));
  std::vector<std::string> names;
  for (const Part& p : pkg.parts()) names.push_back(p.name());
  EXPECT_EQ(names,
            (std::vector<std::string>{"/[Content_Types].xml", "/_rels/.rels", "/xl/workbook.xml",
                                      "/xl/_rels/workbook.xml.rels", "/xl/worksheets/sheet1.xml",
                                      "/xl/styles.xml", "/back/slash.xml"}));
  EXPECT_STREQ(pkg.mainPart().xml().name(), "x:workbook");
  EXPECT_FALSE(pkg.part("/evil.xml"));
  EXPECT_FALSE(pkg.part("/up.xml"));
}

TEST_F(PackageTest, AZipWithoutContentTypesIsNoPackage) {
  std::vector<Entry> entries = testing::workbookEntries();
  entries.erase(entries.begin());
  AutomationError e = errorOf([&] { Package::open(write("plain.zip", entries)); });
  EXPECT_EQ(e.number(), kCannotOpenFile);
  EXPECT_NE(e.description().find("no [Content_Types].xml"), std::string::npos) << e.description();
  entries.insert(entries.begin(), Entry{"[CONTENT_TYPES].XML", kTypes});
  EXPECT_TRUE(Package::open(write("upper.zip", entries)).mainPart());
}

TEST_F(PackageTest, MalformedXmlIsReportedWithPartAndOffsetAndKept) {
  std::vector<Entry> entries = testing::workbookEntries();
  entries[0].data = "<Types xmlns='x'><Default Extension='xml' ContentType='a'></Types>";
  AutomationError e = errorOf([&] { Package::open(write("a.xlsx", entries)); });
  EXPECT_EQ(e.number(), kCannotOpenFile);
  EXPECT_EQ(e.description(), (dir_ / "a.xlsx").string() +
                                 ": part \"/[Content_Types].xml\": not well-formed XML (Start-end "
                                 "tags mismatch at byte 60)");

  entries = testing::workbookEntries();
  entries[2].data = "<workbook><sheets></workbook>";
  entries[3].data = rels(rel("rId1", reltype::kWorksheet, "worksheets/sheet1.xml")) + "<after/>";
  Package pkg = Package::open(write("b.xlsx", entries));
  Part book = pkg.mainPart();
  ASSERT_TRUE(book);
  for (int attempt = 0; attempt < 2; ++attempt) {
    AutomationError first = errorOf([&] { book.xml(); });
    EXPECT_NE(first.description().find("part \"/xl/workbook.xml\": not well-formed XML"),
              std::string::npos)
        << first.description();
    EXPECT_NE(first.description().find("at byte 20)"), std::string::npos) << first.description();
  }
  AutomationError relsError = errorOf([&] { book.relationships(); });
  EXPECT_NE(relsError.description().find("part \"/xl/_rels/workbook.xml.rels\""), std::string::npos)
      << relsError.description();
  errorOf([&] { book.related(reltype::kWorksheet); });
  EXPECT_STREQ(pkg.part("/xl/worksheets/sheet1.xml").xml().name(), "x:worksheet")
      << "the other parts stay readable";
}

TEST_F(PackageTest, TheCallerChoosesTheNumberAndSourceOfItsErrors) {
  OpenOptions options;
  options.cannotOpenNumber = -2147467259;
  options.errorSource = "PowerPoint";
  testing::writeFile(dir_ / "text.pptx", "not a presentation");
  AutomationError e = errorOf([&] { Package::open(dir_ / "text.pptx", options); });
  EXPECT_EQ(e.number(), -2147467259);
  EXPECT_EQ(e.source(), "PowerPoint");
  AutomationError missing = errorOf([&] { Package::open(dir_ / "missing.pptx", options); });
  EXPECT_EQ(missing.number(), 53);
  EXPECT_EQ(missing.source(), "PowerPoint");
  std::vector<Entry> entries = testing::workbookEntries();
  entries[2].data = "<broken";
  Package pkg = Package::open(write("a.xlsx", entries), options);
  AutomationError late = errorOf([&] { pkg.mainPart().xml(); });
  EXPECT_EQ(late.number(), -2147467259);
  EXPECT_EQ(late.source(), "PowerPoint");
}

TEST(SniffFileKind, LooksAtTheFirstBytes) {
  struct Case {
    std::string head;
    FileKind kind;
  };
  const Case cases[] = {
      {std::string("PK\3\4\x14\0\0\0", 8), FileKind::Zip},
      {std::string("PK\5\6\0\0\0\0", 8), FileKind::Zip},
      {std::string("PK\7\x08PK\3\4", 8), FileKind::Zip},
      {"PK\3", FileKind::Other},
      {"PK\1\2abcd", FileKind::Other},
      {"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", FileKind::Ole2},
      {"\xD0\xCF\x11\xE0\xA1\xB1\x1A", FileKind::Other},
      {"\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE0", FileKind::Other},
      {"{\\rtf1\\ansi", FileKind::Other},
      {"<?xml vers", FileKind::Other},
      {"", FileKind::Other},
  };
  for (const Case& c : cases) EXPECT_EQ(sniffFileKind(c.head), c.kind) << c.head;
}

TEST_F(PackageTest, FilesAreRecognisedByContentNotByName) {
  testing::writeZip(dir_ / "workbook.txt", testing::workbookEntries());
  EXPECT_TRUE(Package::open(dir_ / "workbook.txt").mainPart());
  struct Case {
    std::string name;
    std::string bytes;
    const char* cause;
  };
  const Case cases[] = {
      {"text.xlsx", "Name,Score\r\n",
       "neither an Office Open XML package nor a legacy binary Office file"},
      {"empty.xlsx", "", "neither an Office Open XML package nor a legacy binary Office file"},
      {"legacy.docx", std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0'),
       "a legacy binary Office file, and no conversion was asked for"},
  };
  for (const Case& c : cases) {
    testing::writeFile(dir_ / c.name, c.bytes);
    AutomationError e = errorOf([&] { Package::open(dir_ / c.name); });
    EXPECT_EQ(e.number(), kCannotOpenFile);
    EXPECT_EQ(e.description(), (dir_ / c.name).string() + ": " + c.cause);
  }
}

TEST_F(PackageTest, MissingFilesAndThingsThatAreNoFilesFailLikeFileStatements) {
  ASSERT_EQ(::mkfifo((dir_ / "pipe").c_str(), 0600), 0);
  fs::create_directory(dir_ / "folder.xlsx");
  struct Case {
    fs::path path;
    int32_t number;
  };
  const Case cases[] = {
      {dir_ / "missing.xlsx", 53},
      {dir_ / "nofolder" / "missing.xlsx", 76},
      {dir_ / "folder.xlsx", 75},
      {dir_ / "pipe", 75},  // no writer: must not block
  };
  for (const Case& c : cases)
    EXPECT_EQ(errorOf([&] { Package::open(c.path); }).number(), c.number) << c.path;
}

TEST_F(PackageTest, TruncatedPackagesAreRefused) {
  const std::string whole = testing::zipBytes(testing::workbookEntries());
  for (size_t cut : {size_t{4}, size_t{100}, whole.size() / 3, whole.size() / 2, whole.size() - 30,
                     whole.size() - 1}) {
    testing::writeFile(dir_ / "cut.xlsx", whole.substr(0, cut));
    AutomationError e = errorOf([&] { Package::open(dir_ / "cut.xlsx"); });
    EXPECT_EQ(e.number(), kCannotOpenFile) << cut;
  }
}

TEST_F(PackageTest, BoundsHoldThroughThePackage) {
  std::vector<Entry> many = testing::workbookEntries();
  for (int i = 0; i < 10'000; ++i) many.push_back({"xl/p" + std::to_string(i) + ".xml", ""});
  EXPECT_NE(errorOf([&] { Package::open(write("many.xlsx", many)); })
                .description()
                .find("more than the 10000 allowed"),
            std::string::npos);

  std::vector<Entry> bomb = testing::workbookEntries();
  bomb.push_back({"xl/media/bomb.bin", std::string(100u << 20, 'A')});
  EXPECT_NE(errorOf([&] { Package::open(write("bomb.xlsx", bomb)); })
                .description()
                .find("\"xl/media/bomb.bin\" expands"),
            std::string::npos);

  std::vector<Entry> deep = testing::workbookEntries();
  deep[4].data.clear();
  for (int i = 0; i < 300; ++i) deep[4].data += "<a>";
  for (int i = 0; i < 300; ++i) deep[4].data += "</a>";
  Package pkg = Package::open(write("deep.xlsx", deep));
  EXPECT_EQ(errorOf([&] { pkg.part("/xl/worksheets/sheet1.xml").xml(); }).description(),
            (dir_ / "deep.xlsx").string() +
                ": part \"/xl/worksheets/sheet1.xml\": elements nest deeper than 256 levels");
  EXPECT_STREQ(pkg.mainPart().xml().name(), "x:workbook");
}

TEST_F(PackageTest, TheMarkupOfAllPartsReadSharesOneBudget) {
  // Stored, so the entries pass the compression bound; 2.5 million '<' each.
  std::string big = "<r>";
  for (int i = 0; i < 2'500'000; ++i) big += "<a/>";
  big += "</r>";
  std::vector<Entry> entries = testing::workbookEntries();
  entries.push_back({"xl/one.xml", big, true});
  entries.push_back({"xl/two.xml", big, true});
  Package pkg = Package::open(write("big.xlsx", entries));
  EXPECT_STREQ(pkg.part("/xl/one.xml").xml().name(), "r");
  EXPECT_NE(errorOf([&] { pkg.part("/xl/two.xml").xml(); })
                .description()
                .find("part \"/xl/two.xml\": the XML markup of the parts read exceeds 4000000"),
            std::string::npos);
  EXPECT_EQ(
      std::distance(pkg.part("/xl/one.xml").xml().begin(), pkg.part("/xl/one.xml").xml().end()),
      2'500'000);
}

// A part read from its text takes its markup from the budget once, whether
// the reader keeps it or hands it back to the tree.
TEST_F(PackageTest, AScannedPartTakesItsMarkupOnceAndFallsBackToTheTree) {
  std::string big = "<r>";
  for (int i = 0; i < 1'500'000; ++i) big += "<a/>";
  big += "</r>";
  std::vector<Entry> entries = testing::workbookEntries();
  entries.push_back({"xl/one.xml", big, true});
  entries.push_back({"xl/two.xml", big, true});
  entries.push_back({"xl/three.xml", big, true});
  entries.push_back({"xl/bad.xml", "<r><a></r>"});
  Package pkg = Package::open(write("scan.xlsx", entries));
  const Part one = pkg.part("/xl/one.xml"), two = pkg.part("/xl/two.xml");
  size_t calls = 0;
  EXPECT_TRUE(one.scan([&](const std::string& bytes) {
    ++calls;
    EXPECT_EQ(bytes, big);
    return true;
  }));
  EXPECT_FALSE(one.scan([&](const std::string&) { return ++calls != 0; })) << "scanned once";
  EXPECT_FALSE(two.scan([&](const std::string&) { return ++calls == 0; }));
  EXPECT_EQ(calls, 2u);
  // Both parses come without a second charge; the third part exceeds the budget.
  EXPECT_STREQ(two.xml().name(), "r");
  EXPECT_STREQ(one.xml().name(), "r");
  EXPECT_NE(
      errorOf([&] { pkg.part("/xl/three.xml").scan([](const std::string&) { return true; }); })
          .description()
          .find("part \"/xl/three.xml\": the XML markup of the parts read exceeds"),
      std::string::npos);

  // A damaged part handed back fails as xml() alone fails, then and later.
  Package fresh = Package::open(write("scan.xlsx", entries));
  const std::string expected = errorOf([&] { fresh.part("/xl/bad.xml").xml(); }).description();
  const Part bad = pkg.part("/xl/bad.xml");
  EXPECT_FALSE(bad.scan([](const std::string&) { return false; }));
  EXPECT_EQ(errorOf([&] { bad.xml(); }).description(), expected);
  EXPECT_FALSE(bad.scan([](const std::string&) { return true; }));
  EXPECT_EQ(errorOf([&] { bad.xml(); }).description(), expected);
}

// A part read lazily: its root's children come with their attributes, their
// content when asked for; the whole tree afterwards is xml()'s; a damaged part
// fails as xml() fails.
TEST_F(PackageTest, ALazyPartParsesAChildsContentWhenAskedFor) {
  std::vector<Entry> entries = testing::workbookEntries();
  entries.push_back({"xl/lazy.xml", "<x:r xmlns:x='" + testing::kMain +
                                        "'><x:a n='1'><x:b/></x:a><x:a n='2'><x:c/></x:a></x:r>"});
  entries.push_back({"xl/bad.xml", "<r><a><b></a></r>"});
  Package pkg = Package::open(write("lazy.xlsx", entries));
  const Part lazy = pkg.part("/xl/lazy.xml");
  const pugi::xml_node root = lazy.lazyXml();
  const pugi::xml_node first = root.first_child(), second = first.next_sibling();
  EXPECT_STREQ(second.attribute("n").value(), "2");
  EXPECT_FALSE(first.first_child());
  EXPECT_STREQ(lazy.expand(first).first_child().name(), "x:b");
  EXPECT_FALSE(second.first_child());
  EXPECT_EQ(lazy.xml(), root);
  EXPECT_STREQ(second.first_child().name(), "x:c") << "xml() expands the rest";

  Package fresh = Package::open(write("lazy.xlsx", entries));
  const std::string expected = errorOf([&] { fresh.part("/xl/bad.xml").xml(); }).description();
  EXPECT_EQ(errorOf([&] { pkg.part("/xl/bad.xml").lazyXml(); }).description(), expected);
  EXPECT_EQ(errorOf([&] { pkg.part("/xl/bad.xml").expand(root); }).description(), expected);
}

// The log names each entry read once, as the zip spells it, damaged ones
// too; an inner log takes the reads from the outer one while it lives.
TEST_F(PackageTest, AReadLogNamesTheEntriesReadOnceInOrder) {
  std::vector<Entry> entries = testing::workbookEntries();
  entries.push_back({"xl/Bad.xml", "<r><a></r>"});
  const fs::path file = write("log.xlsx", entries);
  PartReadLog outer;
  Package pkg = Package::open(file);
  EXPECT_EQ(outer.entries(), std::vector<std::string>{"[Content_Types].xml"});
  pkg.mainPart().xml();
  pkg.mainPart().xml();
  {
    PartReadLog inner;
    EXPECT_TRUE(errorOf([&] { pkg.part("/xl/bad.xml").xml(); }).number() != 0);
    EXPECT_EQ(pkg.part("/xl/bad.xml").bytes(), "<r><a></r>");
    pkg.mainPart().related(reltype::kWorksheet).xml();
    EXPECT_EQ(inner.entries(), (std::vector<std::string>{"xl/Bad.xml", "xl/_rels/workbook.xml.rels",
                                                         "xl/worksheets/sheet1.xml"}));
  }
  EXPECT_EQ(outer.entries(),
            (std::vector<std::string>{"[Content_Types].xml", "_rels/.rels", "xl/workbook.xml"}))
      << "parsed once, read once; the inner log's reads are not the outer's";
  const size_t afterParsing = outer.entries().size();
  pkg.mainPart().bytes();
  EXPECT_EQ(outer.entries().size(), afterParsing) << "an entry is named once";
  Package::open(file).mainPart().related(reltype::kWorksheet).bytes();
  EXPECT_EQ(outer.entries().back(), "xl/worksheets/sheet1.xml");
}

TEST_F(PackageTest, HandlesStayValidWhenThePackageMoves) {
  Package pkg = Package::open(write("book.xlsx", testing::workbookEntries()));
  Part book = pkg.mainPart();
  pugi::xml_node root = book.xml();
  Package moved = std::move(pkg);
  EXPECT_EQ(book.related(reltype::kWorksheet).name(), "/xl/worksheets/sheet1.xml");
  EXPECT_STREQ(root.name(), "x:workbook");
  EXPECT_EQ(moved.mainPart(), book);
}

TEST_F(PackageTest, AnEmptyPartIsANullObject) {
  Part none;
  EXPECT_FALSE(none);
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(none.name(), "");
  EXPECT_EQ(none.contentType(), "");
  EXPECT_EQ(none.size(), 0u);
  EXPECT_FALSE(none.xml());
  EXPECT_FALSE(none.lazyXml());
  EXPECT_FALSE(none.xml().child("x:sheets").child("x:sheet")) << "lookups chain";
  EXPECT_EQ(none.bytes(), "");
  EXPECT_TRUE(none.relationships().empty());
  EXPECT_EQ(none.relationship("rId1"), nullptr);
  EXPECT_FALSE(none.relatedById("rId1"));
  EXPECT_FALSE(none.related(reltype::kStyles));
  EXPECT_TRUE(none.relatedAll(reltype::kStyles).empty());
}

TEST_F(PackageTest, BytesInMemoryOpenAsTheFileWould) {
  const std::string bytes = testing::zipBytes(testing::workbookEntries(true));
  Package pkg = Package::fromBytes(bytes);
  EXPECT_STREQ(pkg.mainPart().related(reltype::kWorksheet).xml().name(), "x:worksheet");
  AutomationError legacy = errorOf([] {
    Package::fromBytes(std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + "rest", {},
                       "answer.xls");
  });
  EXPECT_EQ(legacy.description(),
            "answer.xls: a legacy binary Office file, which is converted only from a file");
  EXPECT_EQ(errorOf([&] { Package::fromBytes(bytes.substr(0, bytes.size() / 2)); }).number(),
            kCannotOpenFile);
}

TEST_F(PackageTest, ALegacyFileCannotBeOpenedWhenLibreOfficeCannotBeStarted) {
  const char* previous = std::getenv("BQ_SOFFICE");
  const std::string saved = previous ? previous : "";
  ::setenv("BQ_SOFFICE", (dir_ / "no-such-soffice").c_str(), 1);
  testing::writeFile(dir_ / "old.xls",
                     std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0'));
  AutomationError e = errorOf([&] {
    OpenOptions options;
    options.convertTo = ConvertTo::Xlsx;
    Package::open(dir_ / "old.xls", options);
  });
  if (previous)
    ::setenv("BQ_SOFFICE", saved.c_str(), 1);
  else
    ::unsetenv("BQ_SOFFICE");
  EXPECT_EQ(e.number(), kCannotOpenFile);
  EXPECT_NE(e.description().find("LibreOffice (" + (dir_ / "no-such-soffice").string() +
                                 ") cannot be started"),
            std::string::npos)
      << e.description();
}

}  // namespace
}  // namespace bq::office
