#include "platform/office/xml_tree.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/office/limits.h"

namespace bq::office {
namespace {

XmlParse parse(const std::string& xml) {
  uint64_t budget = limits::kMaxXmlMarkupPerPackage;
  return parseXml(xml, budget);
}

std::string nest(size_t depth, const std::string& inner = "") {
  std::string xml;
  xml.reserve(depth * 7 + inner.size());
  for (size_t i = 0; i < depth; ++i) xml += "<a>";
  xml += inner;
  for (size_t i = 0; i < depth; ++i) xml += "</a>";
  return xml;
}

// Every element name of the document, depth first, joined by spaces.
std::string names(const XmlParse& p) {
  std::string out;
  struct Walker : pugi::xml_tree_walker {
    std::string* out;
    bool for_each(pugi::xml_node& n) override {
      if (n.type() != pugi::node_element) return true;
      if (!out->empty()) *out += ' ';
      *out += n.name();
      for (pugi::xml_attribute a : n.attributes()) {
        std::string_view name = a.name();
        if (name == "xmlns" || name.starts_with("xmlns:")) continue;
        *out += '@';
        *out += name;
      }
      return true;
    }
  } walker;
  walker.out = &out;
  p.tree->document.traverse(walker);
  return out;
}

TEST(XmlTree, NamesGetTheCanonicalPrefixOfTheirNamespace) {
  const std::string ssml = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
  const std::string strictSsml = "http://purl.oclc.org/ooxml/spreadsheetml/main";
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  struct Case {
    std::string xml;
    std::string names;
  };
  const Case cases[] = {
      {"<worksheet xmlns='" + ssml + "'><sheetData/></worksheet>", "x:worksheet x:sheetData"},
      {"<worksheet xmlns='" + strictSsml + "'><sheetData/></worksheet>", "x:worksheet x:sheetData"},
      {"<ss:worksheet xmlns:ss='" + ssml + "'><ss:sheetData/></ss:worksheet>",
       "x:worksheet x:sheetData"},
      // A prefix bound again below; the outer binding returns after the element.
      {"<a:r xmlns:a='" + ssml + "'><a:b xmlns:a='" + rel + "'><a:c/></a:b><a:d/></a:r>",
       "x:r r:b r:c x:d"},
      // The default namespace undeclared, and names in no or an unknown namespace.
      {"<r xmlns='" + ssml + "'><s xmlns=''><t/></s><u/></r>", "x:r s t x:u"},
      {"<q:r xmlns:q='urn:example'><q:s/></q:r>", "?q:r ?q:s"},
      {"<r xmlns='urn:example'/>", "?:r"},
      {"<undeclared:r/>", "?undeclared:r"},
      {"<r/>", "r"},
      // Attributes: unprefixed ones are in no namespace whatever the default is.
      {"<r xmlns='" + ssml + "' xmlns:rr='" + rel +
           "' rr:id='1' plain='2' xml:space='preserve' zz:other='3'/>",
       "x:r@r:id@plain@xml:space@?zz:other"},
      // Unknown namespaces stay apart from each other.
      {"<r xmlns:p='urn:a' xmlns:q='urn:b' p:x='1' q:x='2'/>", "r@?p:x@?q:x"},
  };
  for (const Case& c : cases) {
    XmlParse p = parse(c.xml);
    ASSERT_TRUE(p.tree) << c.xml << ": " << p.error;
    EXPECT_EQ(names(p), c.names) << c.xml;
  }
}

TEST(XmlTree, ChoiceRequiresGetCanonicalPrefixes) {
  XmlParse p = parse(
      "<r xmlns:mc='http://schemas.openxmlformats.org/markup-compatibility/2006'"
      " xmlns:s2010='http://schemas.microsoft.com/office/word/2010/wordprocessingShape'"
      " xmlns:odd='urn:example'>"
      "<mc:AlternateContent><mc:Choice Requires='s2010  odd\tnone'/></mc:AlternateContent></r>");
  ASSERT_TRUE(p.tree) << p.error;
  pugi::xml_node choice = p.tree->document.document_element().first_child().first_child();
  EXPECT_STREQ(choice.name(), "mc:Choice");
  EXPECT_STREQ(choice.attribute("Requires").value(), "wps ? ?");
}

TEST(XmlTree, KeepsTextThatIsOnlyBlanksWhenItIsTheOnlyChild) {
  XmlParse p = parse("<r>\n  <t xml:space='preserve'> </t>\n  <t>a\r\nb</t>\n  <u> <x/> </u></r>");
  ASSERT_TRUE(p.tree) << p.error;
  pugi::xml_node r = p.tree->document.document_element();
  EXPECT_STREQ(r.first_child().child_value(), " ");
  EXPECT_STREQ(r.first_child().next_sibling().child_value(), "a\nb") << "line ends normalised";
  EXPECT_EQ(std::distance(r.children().begin(), r.children().end()), 3) << "no blank text between";
  EXPECT_EQ(std::distance(r.child("u").children().begin(), r.child("u").children().end()), 1);
}

TEST(XmlTree, ReportsMalformedXmlWithItsByteOffset) {
  struct Case {
    std::string xml;
    size_t offset;
  };
  const Case cases[] = {
      {"<a><b></a>", 8},
      {"<a>", 2},
      {"<a x='1' x='2'/>", 1},
      {"<?xml version='1.0'?>\n<a><b>", 27},
      {"", 0},
      {"just text", 8},
      {"<a></a><b/>", 8},
      {"<a/><![CDATA[x]]>", 13},
      // Names that XML allows but namespaces do not (found by fuzzing: ":"
      // became an element without a name).
      {"<:/>", 1},
      {"<a><:b/></a>", 4},
      {"<a:/>", 1},
      {"<a:b:c/>", 1},
      {"<a :x='1'/>", 1},
      {"<a x:='1'/>", 1},
      {"<a><b x='1' y='2' x='3'/></a>", 4},
      // Two prefixes of one namespace name one attribute.
      {"<a xmlns:p='http://purl.oclc.org/ooxml/officeDocument/relationships' "
       "xmlns:q='http://schemas.openxmlformats.org/officeDocument/2006/relationships' p:id='1' "
       "q:id='2'/>",
       1},
      {"<a k1='' k2='' k3='' k4='' k5='' k6='' k7='' k8='' k9='' k2=''/>", 1},
  };
  for (const Case& c : cases) {
    XmlParse p = parse(c.xml);
    EXPECT_FALSE(p.tree) << c.xml;
    EXPECT_NE(p.error.find("not well-formed XML"), std::string::npos) << p.error;
    EXPECT_NE(p.error.find("at byte " + std::to_string(c.offset) + ")"), std::string::npos)
        << c.xml << ": " << p.error;
  }
}

TEST(XmlTree, NestingIsBoundedAndAHugeNestNeitherCrashesNorRecurses) {
  EXPECT_TRUE(parse(nest(limits::kMaxXmlDepth)).tree);
  XmlParse deep = parse(nest(limits::kMaxXmlDepth + 1));
  EXPECT_FALSE(deep.tree);
  EXPECT_EQ(deep.error, "elements nest deeper than 256 levels");
  // A million levels: parsed without recursion, refused, freed page by page.
  XmlParse huge = parse(nest(1'000'000, "text"));
  EXPECT_FALSE(huge.tree);
  EXPECT_EQ(huge.error, "elements nest deeper than 256 levels");
  XmlParse unclosed = parse(nest(1'000'000).substr(0, 3'000'000));
  EXPECT_FALSE(unclosed.tree);
}

TEST(XmlTree, MarkupComesOutOfThePackagesBudgetBeforeParsing) {
  const std::string xml = "<r a='1' b='2'><c/></r>";  // 3 '<' and 2 '='
  uint64_t budget = 11;
  EXPECT_TRUE(parseXml(xml, budget).tree);
  EXPECT_EQ(budget, 6u);
  EXPECT_TRUE(parseXml(xml, budget).tree);
  EXPECT_EQ(budget, 1u);
  XmlParse refused = parseXml(xml, budget);
  EXPECT_FALSE(refused.tree);
  EXPECT_EQ(budget, 1u) << "a refused part takes nothing";
  EXPECT_NE(refused.error.find("exceeds 4000000"), std::string::npos) << refused.error;
  // Malformed parts still use up what they would have taken.
  budget = 10;
  EXPECT_FALSE(parseXml("<a><b></a>", budget).tree);
  EXPECT_EQ(budget, 7u);
}

TEST(XmlTree, ReadsUtf16PartsAndNeverExpandsDeclaredEntities) {
  const std::u16string text =
      u"\uFEFF<r "
      u"xmlns='http://schemas.openxmlformats.org/wordprocessingml/2006/main'><t>\u4E2D\u6587</t></"
      u"r>";
  std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * 2);
  XmlParse p = parse(bytes);
  ASSERT_TRUE(p.tree) << p.error;
  EXPECT_STREQ(p.tree->document.document_element().name(), "w:r");
  EXPECT_STREQ(p.tree->document.document_element().child_value("w:t"), "\xE4\xB8\xAD\xE6\x96\x87");

  std::string laughs = "<?xml version='1.0'?><!DOCTYPE r [<!ENTITY a 'aaaaaaaaaa'>";
  laughs +=
      "<!ENTITY b '&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;'><!ENTITY c '&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;'>]>";
  laughs += "<r>&c;&c;&c;&c;</r>";
  XmlParse l = parse(laughs);
  ASSERT_TRUE(l.tree) << l.error;
  EXPECT_EQ(std::string(l.tree->document.document_element().child_value()), "&c;&c;&c;&c;");
}

}  // namespace
}  // namespace bq::office
