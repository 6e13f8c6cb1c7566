#include "platform/office/excel/detail/excel_styles.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/automation_error.h"
#include "platform/office/excel/excel.h"
#include "platform/office/opc/detail/xml_tree.h"
#include "platform/office/opc/package.h"
#include "platform/office/shared/limits.h"
#include "platform/office/testing/test_packages.h"

namespace bq::office::excel::detail {
namespace {

using testing::errorOf;
using testing::kMain;

const std::string kStrict = "http://purl.oclc.org/ooxml/spreadsheetml/main";
const std::string kMc = "http://schemas.openxmlformats.org/markup-compatibility/2006";

// The style sheet before it is read: what the workbook holds by then.
Styles freshStyles() {
  Styles s;
  for (size_t i = 0; i < 64; ++i) s.indexed[i] = defaultPalette()[i < 8 ? i : i - 8];
  return s;
}

// The records as the tree reader gives them; nothing when the part does not parse.
std::optional<Styles> byTree(const std::string& xml) {
  uint64_t budget = limits::kMaxXmlMarkupPerPackage;
  XmlParse parse = parseXml(xml, budget);
  if (!parse.tree) return std::nullopt;
  Styles s = freshStyles();
  readStyles(parse.tree->document.document_element(), s);
  return s;
}

std::optional<Styles> byText(const std::string& xml) {
  Styles s = freshStyles();
  if (!readStylesFromText(xml, s)) return std::nullopt;
  return s;
}

void expectSame(const Styles& text, const Styles& tree) {
  EXPECT_EQ(text.numFmts, tree.numFmts);
  EXPECT_TRUE(text.fonts == tree.fonts);
  EXPECT_TRUE(text.fills == tree.fills);
  EXPECT_TRUE(text.borders == tree.borders);
  EXPECT_TRUE(text.xfs == tree.xfs);
  EXPECT_TRUE(text.palette == tree.palette);
  EXPECT_TRUE(text.indexed == tree.indexed);
  EXPECT_EQ(text.mdw, tree.mdw);
}

// A style sheet with a record of every kind the model reads, and with
// records that read differently when a first occurrence is missed: a later
// name, a gradient before a pattern, start/end beside left/right.
const std::string kBody = R"(
<numFmts count="3"><numFmt numFmtId="164" formatCode="0.00_ "/><numFmt numFmtId="165" formatCode="[Red]0"/>
<numFmt numFmtId="164" formatCode="#,##0"/><numFmt numFmtId="-1" formatCode="x"/></numFmts>
<numFmts><numFmt numFmtId="170" formatCode="second numFmts is not read"/></numFmts>
<fonts count="3">
 <font><b/><sz val="14"/><name val="宋体"/><name val="later"/></font>
 <font><b val="0"/><sz val="9.5"/><name val="Arial"/><family val="2"/></font>
 <font><sz val="-3"/></font>
</fonts>
<fills>
 <fill><patternFill patternType="none"/></fill>
 <fill><patternFill patternType="solid"><fgColor rgb="FFFF0000"/><fgColor rgb="FF00FF00"/><bgColor indexed="64"/></patternFill></fill>
 <fill><gradientFill type="path"><stop position="0"><color theme="4" tint="0.4"/></stop></gradientFill><patternFill patternType="gray125"/></fill>
 <fill><gradientFill degree="90"><stop position="0"/><stop position="1"><color rgb="FF0000FF"/></stop></gradientFill></fill>
 <fill><patternFill patternType="solid"><fgColor auto="1" rgb="FF123456"/><bgColor rgb="bad" theme="2"/></patternFill></fill>
</fills>
<borders>
 <border><left/><right/><top/><bottom/><diagonal/></border>
 <border diagonalDown="1" diagonalUp="true">
  <start style="thin"><color indexed="10"/></start><left style="double"><color theme="1"/></left>
  <end style="medium"/>
  <top style="hair"><color theme="1" tint="-0.25"/></top><top style="thick"/>
  <diagonal style="dashDot"><color indexed="64"/></diagonal>
 </border>
</borders>
<cellStyleXfs><xf fontId="1"/><xf fontId="0"/></cellStyleXfs>
<cellXfs>
 <xf numFmtId="0" fontId="0" fillId="0" borderId="0"/>
 <xf numFmtId="14" fontId="1" fillId="2" borderId="1" applyFont="1"><alignment horizontal="center" vertical="top"/><alignment horizontal="left"/></xf>
 <xf numFmtId="99999999999" fontId="-2" fillId="x" borderId=""/>
</cellXfs>
<cellStyles><cellStyle name="Other" xfId="0" builtinId="3"/><cellStyle name="Normal" xfId="1" builtinId="0"/></cellStyles>
<colors><indexedColors><rgbColor rgb="FF000001"/><rgbColor rgb="nope"/><rgbColor rgb="FF000003"/>
<rgbColor rgb="FF000004"/><rgbColor rgb="FF000005"/><rgbColor rgb="FF000006"/><rgbColor rgb="FF000007"/>
<rgbColor rgb="FF000008"/><rgbColor rgb="FF102030"/><rgbColor rgb="FF405060"/></indexedColors></colors>
<dxfs count="1"><dxf><font><b/></font></dxf></dxfs>
)";

std::string sheet(const std::string& body, const std::string& root = "styleSheet",
                  const std::string& declarations = " xmlns=\"" + kMain + "\"") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<" + root +
         declarations + ">" + body + "</" + root + ">";
}

// `xml` with every element name given `prefix`.
std::string prefixed(const std::string& xml, const std::string& prefix) {
  std::string out;
  for (size_t i = 0; i < xml.size(); ++i) {
    out += xml[i];
    if (xml[i] != '<') continue;
    if (xml[i + 1] == '/') out += xml[++i];
    if (std::isalpha(static_cast<unsigned char>(xml[i + 1]))) out += prefix + ":";
  }
  return out;
}

TEST(StyleSheetTextTest, ReadsWhatTheTreeReads) {
  struct Case {
    const char* what;
    std::string xml;
  };
  const std::vector<Case> cases = {
      {"plain", sheet(kBody)},
      {"byte order mark", "\xEF\xBB\xBF" + sheet(kBody)},
      {"prefixed SpreadsheetML",
       sheet(prefixed(kBody, "s"), "s:styleSheet", " xmlns:s=\"" + kMain + "\"")},
      {"Strict", sheet(kBody, "styleSheet", " xmlns=\"" + kStrict + "\"")},
      {"Strict, prefixed",
       sheet(prefixed(kBody, "x"), "x:styleSheet", " xmlns:x='" + kStrict + "'")},
      {"a prefix bound again below the root: the fonts are in another namespace",
       sheet(prefixed(kBody, "s"), "s:styleSheet", " xmlns:s=\"" + kMain + "\"")
           .replace(sheet(prefixed(kBody, "s"), "s:styleSheet", " xmlns:s=\"" + kMain + "\"")
                        .find("<s:fonts"),
                    8, "<s:fonts xmlns:s=\"urn:other\"")},
      {"the default namespace undone below the root",
       sheet("<fills xmlns=''><fill><patternFill patternType='solid'/></fill></fills>" + kBody)},
      {"a root of any name, the records outside SpreadsheetML",
       sheet(kBody, "other", " xmlns=\"urn:x\"")},
      {"entities and references in values",
       sheet("<numFmts><numFmt numFmtId=\"1&#54;4\" "
             "formatCode=\"&quot;&#x4E2D;&quot;\t#,##0&amp;&lt;&gt;&apos;\r\n0\"/>"
             "<numFmt numFmtId='165' formatCode='a\rb\nc'/></numFmts>"
             "<fonts><font><name val=\"A&amp;B\"/><b val='&#48;'/></font></fonts>")},
      {"comments, CDATA and processing instructions holding tags",
       sheet("<!-- <fonts><font><name val='no'/></font></fonts> --><?pi <fonts/> ?>"
             "<numFmts><![CDATA[<numFmt numFmtId='170' formatCode='no'/>]]>"
             "<numFmt numFmtId='171' formatCode='yes'/><!----></numFmts>" +
             kBody) +
           "<!-- after --><?after?>\n"},
      {"empty-element tags and blanks inside tags",
       sheet("<fonts><font/><font ><name\tval = 'X' "
             "/><b\n/></font></fonts><cellXfs/><fills></fills >")},
      {"unknown elements, attributes and namespaces",
       sheet("<ext:x xmlns:ext='urn:e'><fonts><font><name val='no'/></font></fonts></ext:x>"
             "<fonts x14ac:knownFonts='1' ext:a='1' xmlns:ext='urn:e'><ext:font/><font ext:val='1' "
             "u:v='2' xmlns:u='urn:u'><name p:val='no' val='yes' xmlns:p='urn:p'/></font></fonts>",
             "styleSheet",
             " xmlns=\"" + kMain + "\" xmlns:mc=\"" + kMc +
                 "\" mc:Ignorable=\"x14ac\" xmlns:x14ac=\"http://schemas.microsoft.com/office/"
                 "spreadsheetml/2009/9/ac\"")},
      {"an attribute whose prefix is bound to no namespace",
       sheet("<fonts><font><name p:val='unprefixed' xmlns:p=''/></font></fonts>")},
      {"an empty style sheet", sheet("")},
      {"nothing but a root", "<styleSheet/>"},
      {"records in another order",
       sheet("<cellStyles><cellStyle builtinId='0' xfId='0'/></cellStyles>"
             "<cellStyleXfs><xf fontId='1'/></cellStyleXfs><fonts><font/>"
             "<font><name val='Arial'/><sz val='20'/></font></fonts>")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::optional<Styles> tree = byTree(c.xml);
    ASSERT_TRUE(tree) << "the case itself should parse";
    std::optional<Styles> text = byText(c.xml);
    ASSERT_TRUE(text) << "the text reader gave up";
    expectSame(*text, *tree);
  }
  // The case table reads what it means to.
  const Styles plain = *byText(sheet(kBody));
  EXPECT_EQ(plain.numFmts.at(164), "#,##0");
  EXPECT_EQ(plain.fonts.at(0).name, "宋体");
  EXPECT_EQ(plain.fills.at(2).patternType, "gray125");
  EXPECT_EQ(plain.borders.at(1).left.style, "double");
  EXPECT_EQ(plain.borders.at(1).right.style, "medium");
  EXPECT_EQ(plain.xfs.at(1).horizontal, "center");
  const Styles entities = *byText(cases[8].xml);
  EXPECT_EQ(entities.numFmts.at(164), "\"中\" #,##0&<>' 0");
  EXPECT_EQ(entities.numFmts.at(165), "a b c");
}

// On markup it is not sure of, the text reader leaves the part to the tree;
// the workbook then reads (or fails) as it did.
TEST(StyleSheetTextTest, GivesUpOnWhatItDoesNotReadAsTheParser) {
  struct Case {
    const char* what;
    std::string xml;
    bool parses;  // by the tree
  };
  const std::string deep = [] {
    std::string open, close;
    for (uint32_t i = 0; i <= limits::kMaxXmlDepth; ++i) {
      open += "<d>";
      close += "</d>";
    }
    return sheet(open + close);
  }();
  const std::vector<Case> cases = {
      {"mc:AlternateContent",
       sheet("<mc:AlternateContent><mc:Choice Requires='x14'><fonts/></mc:Choice>"
             "<mc:Fallback><fonts/></mc:Fallback></mc:AlternateContent>",
             "styleSheet", " xmlns=\"" + kMain + "\" xmlns:mc=\"" + kMc + "\""),
       true},
      {"mc:ProcessContent",
       sheet("<fonts mc:ProcessContent='hs:font' xmlns:hs='urn:example:hs'/>", "styleSheet",
             " xmlns=\"" + kMain + "\" xmlns:mc=\"" + kMc + "\""),
       true},
      {"a document type declaration", "<!DOCTYPE styleSheet>" + sheet(kBody).substr(55), true},
      {"Latin-1", "<?xml version='1.0' encoding='ISO-8859-1'?><styleSheet/>", true},
      {"UTF-16 without a declaration", std::string("<\0s\0/\0>\0", 8), true},
      {"a NUL", sheet(std::string("<fonts/>\0", 9)), false},
      {"an unknown entity", sheet("<numFmts><numFmt numFmtId='1' formatCode='&nbsp;'/></numFmts>"),
       true},
      {"a reference without ';'", sheet("<fonts><font><name val='a&amp b'/></font></fonts>"), true},
      {"a character reference to NUL", sheet("<fonts><font><name val='&#0;'/></font></fonts>"),
       true},
      {"a reference in a namespace URI", sheet("", "styleSheet", " xmlns='urn:a&amp;b'"), true},
      {"'<' in a value", sheet("<fonts><font><name val='a<b'/></font></fonts>"), true},
      {"a name with two colons", sheet("<a:b:c/>"), false},
      {"an attribute given twice", sheet("<fonts><font><name val='a' val='b'/></font></fonts>"),
       false},
      {"an attribute given twice through two prefixes",
       sheet("<fonts p:a='1' q:a='2' xmlns:p='" + kStrict + "' xmlns:q='" + kMain + "'/>"), false},
      {"nesting deeper than the limit", deep, false},
      {"an unclosed element", sheet("<fonts>"), false},
      {"a mismatched end tag", sheet("<fonts></font>"), false},
      {"two roots", sheet(kBody) + "<styleSheet/>", false},
      {"text after the root", sheet(kBody) + "x", true},
      {"an unterminated comment", sheet("<!-- <fonts/>"), false},
      {"an attribute without a value", sheet("<fonts><font bold/></fonts>"), false},
      {"no blank between attributes", sheet("<fonts><font a='1'b='2'/></fonts>"), false},
      {"nothing", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_FALSE(byText(c.xml)) << "the text reader read it";
    EXPECT_EQ(byTree(c.xml).has_value(), c.parses);
  }
}

// Through the package: a style sheet the text reader gives up on is parsed
// by the tree, and a damaged one fails with the same error as before.
TEST(StyleSheetTextTest, TheWorkbookReadsOrFailsAsBeforeWhenTheTextReaderGivesUp) {
  auto bookWithStyles = [](const std::string& styles) {
    std::vector<testing::Entry> entries = testing::workbookEntries();
    for (testing::Entry& e : entries)
      if (e.name == "xl/styles.xml") e.data = styles;
    return testing::zipBytes(entries);
  };
  const std::string damaged = sheet("<fonts><font></fonts>");
  uint64_t budget = limits::kMaxXmlMarkupPerPackage;
  const std::string parseError = parseXml(damaged, budget).error;
  ASSERT_FALSE(parseError.empty());
  const AutomationError e =
      errorOf([&] { Workbook::fromBytes(bookWithStyles(damaged), "b.xlsx"); });
  EXPECT_EQ(e.number(), 1004);
  EXPECT_NE(e.description().find("part \"/xl/styles.xml\": " + parseError), std::string::npos)
      << e.description();

  const std::string alternate = sheet(
      "<mc:AlternateContent><mc:Fallback/></mc:AlternateContent><fonts><font><b/>"
      "<sz val='14'/><name val='Arial'/></font></fonts>",
      "styleSheet", " xmlns=\"" + kMain + "\" xmlns:mc=\"" + kMc + "\"");
  const Workbook book = Workbook::fromBytes(bookWithStyles(alternate), "b.xlsx");
  EXPECT_EQ(book.worksheets(1).range("A1").font(), (Font{"Arial", 14.0, true}));
}

// Damaged style sheets: the text reader reads each as the tree does, or
// gives up; it never reads one the tree refuses, nor differently.
TEST(StyleSheetTextTest, DamagedStyleSheetsReadAsTheTreeReadsThemOrGiveUp) {
  const std::string base =
      sheet("<!-- c --><?p i?>" + prefixed(kBody, "s") +
                "<s:numFmts><s:numFmt numFmtId='9' formatCode='&quot;a&amp;b&#x4E2D;'/></s:numFmts>"
                "<![CDATA[ignored]]>",
            "s:styleSheet", " xmlns:s=\"" + kMain + "\"");
  std::mt19937 random(20261207);
  static const char kBytes[] = {'<', '>', '/', '&', '"', '\'', '=', ':', ' ', '\n',
                                '!', '?', '-', ']', ';', '#',  's', '0', '\0'};
  int read = 0;
  for (int round = 0; round < 2000; ++round) {
    std::string xml = base;
    const int damages = 1 + static_cast<int>(random() % 3);
    for (int d = 0; d < damages; ++d) {
      const size_t at = random() % xml.size();
      switch (random() % 4) {
        case 0:
          xml.erase(at, 1 + random() % 4);
          break;
        case 1:
          xml.insert(xml.begin() + static_cast<ptrdiff_t>(at), kBytes[random() % sizeof kBytes]);
          break;
        case 2:
          xml[at] = kBytes[random() % sizeof kBytes];
          break;
        default:
          xml.insert(at, xml.substr(random() % xml.size(), 1 + random() % 40));
          break;
      }
    }
    std::optional<Styles> text = byText(xml);
    if (!text) continue;
    ++read;
    std::optional<Styles> tree = byTree(xml);
    ASSERT_TRUE(tree) << "read a style sheet the parser refuses:\n" << xml;
    SCOPED_TRACE(xml);
    expectSame(*text, *tree);
    if (::testing::Test::HasFailure()) return;
  }
  // Most damage falls in values and text, which stay readable.
  EXPECT_GT(read, 200);
}

}  // namespace
}  // namespace bq::office::excel::detail
