#include "platform/office/opc/detail/xml_tree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "common/automation_error.h"
#include "platform/office/opc/detail/xml_tree_testing.h"
#include "platform/office/opc/package.h"
#include "platform/office/shared/limits.h"

namespace bq::office {
namespace {

using testing::outcome;
using testing::parseByWalk;
using testing::parseDeferredWhole;

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

// Documents that the pass over the text renames, and documents it leaves to
// the walk; either way both parses must agree.
const std::string kSsml = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const std::string kStrictSsml = "http://purl.oclc.org/ooxml/spreadsheetml/main";
const std::string kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const std::string kMc = "http://schemas.openxmlformats.org/markup-compatibility/2006";
const std::string kWps = "http://schemas.microsoft.com/office/word/2010/wordprocessingShape";
const std::string kWordNs = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";

const std::vector<std::string>& samples() {
  static const std::vector<std::string> kSamples = {
      "<worksheet xmlns='" + kSsml +
          "'><sheetData><row r='1'><c r='A1' s='2' t='s'><v>0</v>"
          "</c></row></sheetData></worksheet>",
      "<worksheet xmlns=\"" + kStrictSsml + "\" xmlns:r=\"" + kRelNs +
          "\"><drawing r:id='x'/>"
          "</worksheet>",
      "<ss:worksheet xmlns:ss='" + kSsml + "' xmlns:rr='" + kRelNs +
          "'><ss:sheetData rr:id='1' plain='2'/></ss:worksheet>",
      // Declarations below the root, a prefix bound again, the default
      // namespace undeclared, and a prefix bound to no namespace.
      "<a:r xmlns:a='" + kSsml + "'><a:b xmlns:a='" + kRelNs + "'><a:c/></a:b><a:d/></a:r>",
      "<r xmlns='" + kSsml + "'><s xmlns=''><t/></s><u/></r>",
      "<p:a xmlns:p=''><p:b p:c='1'/></p:a>",
      "<r xmlns='" + kSsml + "' xml:space='preserve'><t xml:lang='en'> </t></r>",
      // Markup that is not renamed: comments, processing instructions, CDATA,
      // a document type declaration, and attribute values that look like tags.
      "<?xml version='1.0' encoding='UTF-8' standalone='yes'?>\n<!-- <c r='Z9'/> -->"
      "<r xmlns='" +
          kSsml + "'><?pi <c/> ?><t><![CDATA[<c>]]></t><u v='<c> &amp; \"'/></r>",
      "<!DOCTYPE r [<!ENTITY e 'x'>]><r xmlns='" + kSsml + "'>&e;</r>",
      "\xEF\xBB\xBF<r xmlns='" + kSsml + "'>\xE4\xB8\xAD</r>",
      "<?xml version='1.0' encoding='ISO-8859-1'?><r xmlns='" + kSsml + "'>\xE9</r>",
      "<?xml version='1.0' encoding=\"utf-8\"?><r xmlns='" + kSsml + "'/>",
      // Requires with blanks of every kind, and a prefix it does not know.
      "<r xmlns:mc='" + kMc + "' xmlns:s='" + kWps +
          "'><mc:AlternateContent><mc:Choice Requires=' s\t\r\nmc  odd'><x/></mc:Choice>"
          "<mc:Fallback/></mc:AlternateContent></r>",
      "<mc:Choice xmlns:mc='" + kMc + "' Requires='mc'/>",
      "<mc:Choice xmlns:mc='" + kMc + "' Requires='m&#99;'/>",
      // Names in a namespace outside the table, and URIs the parser changes.
      "<r xmlns:q='urn:example' q:a='1'><q:s/></r>",
      "<r xmlns='urn:example'/>",
      "<r xmlns:q='urn:a&amp;b' xmlns='" + kSsml + "'/>",
      "<r xmlns='\t" + kSsml + "'/>",
      // Attributes that collide once renamed, and the walk's other faults.
      "<r xmlns:p='" + kRelNs +
          "' xmlns:q='http://purl.oclc.org/ooxml/officeDocument/"
          "relationships' p:id='1' q:id='2'/>",
      "<r xmlns:p='' p:id='1' id='2'/>",
      "<r a='1' b='2' a='3'/>",
      "<r><a:b:c/></r>",
      "<r :x='1'/>",
      "<r xmlns:='" + kSsml + "'/>",
      "<r/><s/>",
      "<r/>text",
      "<r></s>",
      "<r a='1'b='2'/>",
      "<r a='1/>",
      std::string("<r>\0</r>", 8),
      "< r/>",
      "<1r/>",
      "<r><1s/></r>",
      "<r xmlns='" + kSsml + "'><1s/></r>",
      // Faults inside the root's children, whose content may be parsed on
      // its own: pugixml's own refusals (a name straight after a value, a
      // processing instruction without a name) must be seen by the text pass.
      "<r><s a='1'><t b='2'>x</t><u/></s><v><w/></v></r>",
      "<r><s><t a='1'b='2'/></s></r>",
      "<r><s><?1 x?><t/></s></r>",
      "<r><s><?\?><t/></s></r>",
  };
  return kSamples;
}

TEST(XmlTree, TheTextPassAndTheWalkGiveTheSameTreeOrTheSameError) {
  for (const std::string& xml : samples()) {
    EXPECT_EQ(outcome(parse(xml)), outcome(parseByWalk(xml))) << xml;
    EXPECT_EQ(outcome(parseDeferredWhole(xml)), outcome(parseByWalk(xml))) << xml;
  }
  EXPECT_EQ(outcome(parse(nest(limits::kMaxXmlDepth))),
            outcome(parseByWalk(nest(limits::kMaxXmlDepth))));
  EXPECT_EQ(parse(nest(limits::kMaxXmlDepth + 1)).error, "elements nest deeper than 256 levels");
}

TEST(XmlTree, TheTextPassRenamesAsTheModelsExpect) {
  XmlParse p = parse("<worksheet xmlns='" + kStrictSsml + "' xmlns:r='" + kRelNs +
                     "'><!-- <c/> --><sheetData><c r:id='a'><v>1</v></c></sheetData>"
                     "<legacyDrawing r:id='b'/></worksheet>");
  ASSERT_TRUE(p.tree) << p.error;
  EXPECT_EQ(names(p), "x:worksheet x:sheetData x:c@r:id x:v x:legacyDrawing@r:id");
}

// Damaged documents: random edits of the samples, in the bytes that matter
// to the parser, must not make the two parses disagree.
TEST(XmlTree, TheTextPassAndTheWalkAgreeOnDamagedDocuments) {
  static constexpr char kBytes[] = "<>/='\"!?-[]: \t\nxmlnsabc&;\0";  // and the NUL
  std::mt19937 random(20240601);
  const std::vector<std::string>& seeds = samples();
  for (int i = 0; i < 4000; ++i) {
    std::string xml = seeds[random() % seeds.size()];
    for (int edits = 1 + static_cast<int>(random() % 3); edits > 0 && !xml.empty(); --edits) {
      const size_t at = random() % xml.size();
      const char c = kBytes[random() % (sizeof kBytes - 1)];
      switch (random() % 3) {
        case 0:
          xml[at] = c;
          break;
        case 1:
          xml.insert(at, 1, c);
          break;
        default:
          xml.erase(at, 1 + random() % 3);
          break;
      }
    }
    ASSERT_EQ(outcome(parse(xml)), outcome(parseByWalk(xml))) << xml;
    ASSERT_EQ(outcome(parseDeferredWhole(xml)), outcome(parseByWalk(xml))) << xml;
  }
}

// Attribute values are looked through in two ways, by their length: every
// length around the change, closed or running to the end of the part, with
// the other quote inside, parses as the walk parses it.
TEST(XmlTree, AttributeValuesOfEveryLengthParseAsTheWalkParsesThem) {
  for (size_t length = 0; length <= 40; ++length) {
    for (const char quote : {'"', '\''}) {
      const char other = quote == '"' ? '\'' : '"';
      std::string value(length, 'v');
      if (length > 3) value[length / 2] = other;
      const std::string open = std::string("<a b=") + quote + value;
      for (const std::string& xml :
           {open + quote + "/>", open + quote + " c=" + quote + quote + "/>", open, open + "/>"}) {
        EXPECT_EQ(outcome(parse(xml)), outcome(parseByWalk(xml))) << xml;
      }
    }
  }
  EXPECT_TRUE(parse(std::string("<a b='") + std::string(17, 'v') + "'/>").tree);
  EXPECT_FALSE(parse(std::string("<a b='") + std::string(17, 'v') + "/>").tree);
}

// The content of the root's children is parsed when asked for, and then is
// what a whole parse gives; content that parses differently on its own (only
// blanks, text alone, a byte order mark first) is parsed at once.
TEST(XmlTree, DeferredChildrenAreParsedWhenExpanded) {
  const std::string xml = "<w:styles xmlns:w='" + kWordNs +
                          "'><w:style w:styleId='a'><w:name w:val='A'/>\r\n</w:style>"
                          "<w:style w:styleId='b'> <!-- c --> </w:style><w:style>text</w:style>"
                          "<w:style>\xEF\xBB\xBF<w:x/></w:style><w:empty/>tail</w:styles>";
  uint64_t budget = limits::kMaxXmlMarkupPerPackage;
  XmlParse p = parseXmlDeferred(xml, budget);
  ASSERT_TRUE(p.tree) << p.error;
  pugi::xml_node first = p.tree->document.document_element().first_child();
  EXPECT_STREQ(first.attribute("w:styleId").value(), "a");
  EXPECT_FALSE(first.first_child());
  EXPECT_EQ(p.tree->deferred.size(), 1u);
  std::string error;
  ASSERT_TRUE(expandXml(*p.tree, first, error)) << error;
  EXPECT_STREQ(first.child("w:name").attribute("w:val").value(), "A");
  EXPECT_TRUE(p.tree->deferred.empty());
  EXPECT_EQ(outcome(p), outcome(parseByWalk(xml)));
  EXPECT_EQ(budget, limits::kMaxXmlMarkupPerPackage - 18);
}

}  // namespace
}  // namespace bq::office
