#include "platform/office/opc/namespaces.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/office/opc/detail/xml_nodes.h"
#include "platform/office/opc/detail/xml_tree.h"

namespace bq::office {
namespace {

TEST(Namespaces, StrictAndTransitionalUrisAreOneKind) {
  struct Case {
    const char* uri;
    Ns kind;
  };
  const Case cases[] = {
      {"http://schemas.openxmlformats.org/spreadsheetml/2006/main", Ns::SpreadsheetML},
      {"http://purl.oclc.org/ooxml/spreadsheetml/main", Ns::SpreadsheetML},
      {"http://schemas.openxmlformats.org/wordprocessingml/2006/main", Ns::WordprocessingML},
      {"http://purl.oclc.org/ooxml/wordprocessingml/main", Ns::WordprocessingML},
      {"http://schemas.openxmlformats.org/presentationml/2006/main", Ns::PresentationML},
      {"http://purl.oclc.org/ooxml/presentationml/main", Ns::PresentationML},
      {"http://schemas.openxmlformats.org/drawingml/2006/main", Ns::DrawingML},
      {"http://purl.oclc.org/ooxml/drawingml/main", Ns::DrawingML},
      {"http://purl.oclc.org/ooxml/drawingml/chart", Ns::Chart},
      {"http://purl.oclc.org/ooxml/drawingml/spreadsheetDrawing", Ns::SpreadsheetDrawing},
      {"http://schemas.openxmlformats.org/officeDocument/2006/relationships", Ns::Relationships},
      {"http://purl.oclc.org/ooxml/officeDocument/relationships", Ns::Relationships},
      {"http://purl.oclc.org/ooxml/officeDocument/extendedProperties", Ns::ExtendedProperties},
      {"http://schemas.openxmlformats.org/markup-compatibility/2006", Ns::MarkupCompatibility},
      {"http://schemas.microsoft.com/office/powerpoint/2010/main", Ns::PowerPoint2010},
      {"urn:schemas-microsoft-com:vml", Ns::Vml},
      {"", Ns::None},
      // Namespace names compare exactly: another case or a trailing slash is another name.
      {"http://schemas.openxmlformats.org/spreadsheetml/2006/Main", Ns::Unknown},
      {"http://purl.oclc.org/ooxml/spreadsheetml/main/", Ns::Unknown},
      {"urn:example", Ns::Unknown},
  };
  for (const Case& c : cases) EXPECT_EQ(namespaceKind(c.uri), c.kind) << c.uri;
}

TEST(Namespaces, StrictUrisMapToTransitionalOnes) {
  EXPECT_EQ(transitionalNamespace("http://purl.oclc.org/ooxml/wordprocessingml/main"),
            "http://schemas.openxmlformats.org/wordprocessingml/2006/main");
  EXPECT_EQ(transitionalNamespace("http://purl.oclc.org/ooxml/officeDocument/relationships"),
            "http://schemas.openxmlformats.org/officeDocument/2006/relationships");
  EXPECT_EQ(transitionalNamespace("http://purl.oclc.org/ooxml/unheard-of"),
            "http://purl.oclc.org/ooxml/unheard-of");
  EXPECT_EQ(transitionalNamespace("urn:schemas-microsoft-com:vml"),
            "urn:schemas-microsoft-com:vml");
}

TEST(Namespaces, PrefixesAndKindsRoundTrip) {
  for (Ns kind : {Ns::SpreadsheetML, Ns::WordprocessingML, Ns::PresentationML, Ns::DrawingML,
                  Ns::Relationships, Ns::MarkupCompatibility, Ns::VmlExcel, Ns::ChartEx}) {
    std::string_view prefix = canonicalPrefix(kind);
    EXPECT_FALSE(prefix.empty());
    EXPECT_EQ(kindOfPrefix(prefix), kind) << prefix;
  }
  EXPECT_EQ(canonicalPrefix(Ns::Unknown), "?");
  EXPECT_EQ(kindOfPrefix("?"), Ns::Unknown);
  EXPECT_EQ(kindOfPrefix("ss"), Ns::Unknown);
  EXPECT_EQ(kindOfPrefix(""), Ns::None);
}

TEST(Namespaces, RelationshipTypesMatchAcrossStrictAndTransitional) {
  struct Case {
    const char* a;
    std::string_view b;
    bool same;
  };
  const Case cases[] = {
      {"http://purl.oclc.org/ooxml/officeDocument/relationships/officeDocument",
       reltype::kOfficeDocument, true},
      {"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument",
       reltype::kOfficeDocument, true},
      {"HTTP://SCHEMAS.OPENXMLFORMATS.ORG/officeDocument/2006/relationships/OfficeDocument",
       reltype::kOfficeDocument, true},
      {"http://purl.oclc.org/ooxml/officeDocument/relationships/extendedProperties",
       reltype::kExtendedProperties, true},
      {"http://purl.oclc.org/ooxml/officeDocument/relationships/metadata/thumbnail",
       reltype::kThumbnail, true},
      {"http://purl.oclc.org/ooxml/officeDocument/relationships/worksheet", reltype::kWorksheet,
       true},
      {"http://purl.oclc.org/ooxml/officeDocument/relationships/worksheet", reltype::kChartsheet,
       false},
      {"http://purl.oclc.org/ooxml/officeDocument/relationships/styles",
       "http://schemas.microsoft.com/office/2007/relationships/stylesWithEffects", false},
      {"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocumentX",
       reltype::kOfficeDocument, false},
      {"", reltype::kOfficeDocument, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(sameRelationshipType(c.a, c.b), c.same) << c.a << " / " << c.b;
}

// A part parsed as Package parses it.
struct Parsed {
  explicit Parsed(const std::string& xml) {
    uint64_t budget = 1'000'000;
    XmlParse p = parseXml(xml, budget);
    EXPECT_TRUE(p.tree) << p.error;
    tree = std::move(p.tree);
  }
  pugi::xml_node root() const {
    return tree ? tree->document.document_element() : pugi::xml_node();
  }
  std::unique_ptr<XmlTree> tree;
};

TEST(AlternateContent, ChoicesNeedEveryRequiredNamespace) {
  struct Case {
    const char* declarations;
    const char* needed;
    bool hasFallback;
    const char* expected;  // local name of the chosen branch's first child, "" for none
  };
  const Case cases[] = {
      // Requires names prefixes in scope, whatever they are.
      {R"(xmlns:zz="http://schemas.microsoft.com/office/powerpoint/2010/main")", "zz", true,
       "choice"},
      {R"(xmlns:p14="http://schemas.microsoft.com/office/powerpoint/2010/main")", "p14", true,
       "choice"},
      // An undeclared prefix, or one of an unknown namespace, is never understood.
      {"", "p14", true, "fallback"},
      {R"(xmlns:p14="urn:example")", "p14", true, "fallback"},
      {R"(xmlns:p14="http://schemas.microsoft.com/office/powerpoint/2010/main")", "p14 q", true,
       "fallback"},
      {R"(xmlns:p14="http://schemas.microsoft.com/office/powerpoint/2010/main")", "", true,
       "fallback"},
      {"", "p14", false, ""},
  };
  for (const Case& c : cases) {
    std::string xml =
        std::string(
            "<r xmlns:mc=\"http://schemas.openxmlformats.org/markup-compatibility/2006\" ") +
        c.declarations + "><mc:AlternateContent><mc:Choice Requires=\"" + c.needed +
        "\"><choice/></mc:Choice>" +
        (c.hasFallback ? "<mc:Fallback><fallback/></mc:Fallback>" : "") +
        "</mc:AlternateContent></r>";
    Parsed doc(xml);
    pugi::xml_node branch = chosenBranch(doc.root().first_child(), NsSet{Ns::PowerPoint2010});
    EXPECT_STREQ(branch.first_child().name(), c.expected) << xml;
  }
}

TEST(Names, KindsAndLocalNamesOfCanonicalNames) {
  Parsed doc(R"(<w:document xmlns:w="http://purl.oclc.org/ooxml/wordprocessingml/main"
      xmlns:rel="http://purl.oclc.org/ooxml/officeDocument/relationships"><w:body rel:id="rId4" plain="1"/></w:document>)");
  pugi::xml_node body = doc.root().first_child();
  EXPECT_TRUE(is(body, Ns::WordprocessingML, "body"));
  EXPECT_FALSE(is(body, Ns::WordprocessingML, "bod"));
  EXPECT_FALSE(is(body, Ns::SpreadsheetML, "body"));
  EXPECT_FALSE(is(body, Ns::None, "body"));
  EXPECT_EQ(kindOf(body), Ns::WordprocessingML);
  EXPECT_EQ(localName(body), "body");
  EXPECT_EQ(kindOf(body.attribute("r:id")), Ns::Relationships);
  EXPECT_STREQ(body.attribute("r:id").value(), "rId4");
  EXPECT_EQ(kindOf(body.attribute("plain")), Ns::None);
  EXPECT_EQ(kindOf(pugi::xml_node()), Ns::None);
  EXPECT_EQ(localName(pugi::xml_node()), "");
}

}  // namespace
}  // namespace bq::office
