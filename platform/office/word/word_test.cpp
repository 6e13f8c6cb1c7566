#include "platform/office/word/word.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "common/automation_error.h"
#include "platform/office/testing/test_packages.h"

namespace bq::office::word {
namespace {

using testing::Entry;
using testing::errorOf;

const std::string kW = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
const std::string kWStrict = "http://purl.oclc.org/ooxml/wordprocessingml/main";
const std::string kR = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const std::string kNs = " xmlns:w=\"" + kW + "\" xmlns:r=\"" + kR + "\" xmlns:a=\"" + testing::kA +
                        "\" xmlns:wp=\"http://schemas.openxmlformats.org/drawingml/2006/"
                        "wordprocessingDrawing\" xmlns:mc=\"http://schemas.openxmlformats.org/"
                        "markup-compatibility/2006\" xmlns:v=\"urn:schemas-microsoft-com:vml\" "
                        "xmlns:o=\"urn:schemas-microsoft-com:office:office\"";

// A document written for a test; each part is left out when empty.
struct Doc {
  std::string body;                                        // children of w:body
  std::string styles;                                      // children of w:styles
  std::string numbering;                                   // children of w:numbering
  std::string settings;                                    // children of w:settings
  std::string theme;                                       // the whole theme part
  std::vector<std::pair<std::string, std::string>> parts;  // header/footer: name, whole part

  std::string bytes() const {
    std::string rels, types;
    std::vector<Entry> entries;
    const auto part = [&](const std::string& name, const std::string& type,
                          const std::string& xml) {
      const std::string id = "rId" + std::to_string(entries.size() + 1);
      rels += "<Relationship Id=\"" + id + "\" Type=\"" + kR + "/" + type + "\" Target=\"" + name +
              "\"/>";
      entries.push_back({"word/" + name, xml});
    };
    const auto wrap = [](const std::string& root, const std::string& children) {
      return "<w:" + root + kNs + ">" + children + "</w:" + root + ">";
    };
    if (!styles.empty()) part("styles.xml", "styles", wrap("styles", styles));
    if (!numbering.empty()) part("numbering.xml", "numbering", wrap("numbering", numbering));
    if (!settings.empty()) part("settings.xml", "settings", wrap("settings", settings));
    if (!theme.empty()) part("theme/theme1.xml", "theme", theme);
    for (const auto& [name, xml] : parts)
      part(name, name.rfind("footer", 0) == 0 ? "footer" : "header", xml);
    entries.insert(
        entries.begin(),
        {{"[Content_Types].xml",
          "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
          "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
          "<Default Extension=\"rels\" ContentType=\"application/"
          "vnd.openxmlformats-package.relationships+xml\"/></Types>"},
         {"_rels/.rels", "<Relationships xmlns=\"" + testing::kPkgRel +
                             "\"><Relationship Id=\"d\" Type=\"" + kR +
                             "/officeDocument\" Target=\"word/document.xml\"/></Relationships>"},
         {"word/document.xml", wrap("document", "<w:body>" + body + "</w:body>")},
         {"word/_rels/document.xml.rels",
          "<Relationships xmlns=\"" + testing::kPkgRel + "\">" + rels + "</Relationships>"}});
    return testing::zipBytes(entries);
  }
  Document open() const { return Document::fromBytes(bytes()); }
};

std::string p(const std::string& text, const std::string& pPr = "", const std::string& rPr = "") {
  return "<w:p>" + (pPr.empty() ? "" : "<w:pPr>" + pPr + "</w:pPr>") + "<w:r>" +
         (rPr.empty() ? "" : "<w:rPr>" + rPr + "</w:rPr>") + "<w:t xml:space=\"preserve\">" + text +
         "</w:t></w:r></w:p>";
}

std::string header(const std::string& root, const std::string& children) {
  return "<w:" + root + kNs + ">" + children + "</w:" + root + ">";
}

TEST(WordModelTest, StylesStackAsWordStacksThem) {
  Doc d;
  d.styles =
      "<w:docDefaults><w:rPrDefault><w:rPr><w:rFonts w:ascii=\"Arial\" w:hAnsi=\"Arial\" "
      "w:eastAsia=\"宋体\"/><w:sz w:val=\"21\"/></w:rPr></w:rPrDefault>"
      "<w:pPrDefault><w:pPr><w:spacing w:after=\"200\" w:line=\"276\" w:lineRule=\"auto\"/>"
      "</w:pPr></w:pPrDefault></w:docDefaults>"
      "<w:style w:type=\"paragraph\" w:default=\"1\" w:styleId=\"Normal\"><w:name "
      "w:val=\"Normal\"/>"
      "<w:pPr><w:spacing w:line=\"240\"/></w:pPr></w:style>"
      // Bold in a paragraph style based on one that indents by two characters.
      "<w:style w:type=\"paragraph\" w:styleId=\"Base\"><w:basedOn w:val=\"Normal\"/>"
      "<w:pPr><w:ind w:firstLineChars=\"200\" w:firstLine=\"420\"/><w:jc w:val=\"center\"/></w:pPr>"
      "<w:rPr><w:b/><w:sz w:val=\"28\"/></w:rPr></w:style>"
      "<w:style w:type=\"paragraph\" w:styleId=\"Derived\"><w:basedOn w:val=\"Base\"/>"
      "<w:pPr><w:jc w:val=\"right\"/></w:pPr></w:style>"
      "<w:style w:type=\"character\" w:styleId=\"Strong\"><w:rPr><w:b/><w:i/></w:rPr></w:style>"
      // A loop of basedOn must end.
      "<w:style w:type=\"paragraph\" w:styleId=\"Loop1\"><w:basedOn w:val=\"Loop2\"/></w:style>"
      "<w:style w:type=\"paragraph\" w:styleId=\"Loop2\"><w:basedOn w:val=\"Loop1\"/></w:style>";
  d.body = p("plain") + p("derived", "<w:pStyle w:val=\"Derived\"/>") +
           // The character style's bold switches the paragraph style's off;
           // its italic (not set below it) on.
           p("strong", "<w:pStyle w:val=\"Derived\"/>", "<w:rStyle w:val=\"Strong\"/>") +
           // Direct formatting is absolute.
           p("direct", "<w:pStyle w:val=\"Derived\"/>", "<w:rStyle w:val=\"Strong\"/><w:b/>") +
           p("loop", "<w:pStyle w:val=\"Loop1\"/><w:ind w:hangingChars=\"150\"/>") +
           p("unknown style", "<w:pStyle w:val=\"Nowhere\"/>");
  const Document doc = d.open();
  ASSERT_EQ(doc.paragraphCount(), 6);

  const Paragraph plain = doc.paragraphs(1);
  EXPECT_EQ(plain.range().font(), (Font{"Arial", 10.5f, 0, 0, 0, 0}));
  EXPECT_EQ(plain.range().paragraphFormat(), (ParagraphFormat{0, wd::kLineSpaceSingle, 12}));
  EXPECT_EQ(plain.characterUnitFirstLineIndent(), 0);

  const Paragraph derived = doc.paragraphs(2);
  EXPECT_EQ(derived.range().font(), (Font{"Arial", 14, wd::kTrue, 0, 0, 0}));
  EXPECT_EQ(derived.range().paragraphFormat().alignment, 2);
  EXPECT_EQ(derived.characterUnitFirstLineIndent(), 2);

  EXPECT_EQ(doc.paragraphs(3).range().font(), (Font{"Arial", 14, wd::kFalse, wd::kTrue, 0, 0}));
  EXPECT_EQ(doc.paragraphs(4).range().font().bold, wd::kTrue);
  EXPECT_EQ(doc.paragraphs(5).characterUnitFirstLineIndent(), -1.5f);
  EXPECT_EQ(doc.paragraphs(6).range().font().size, 10.5f);

  // Over the whole story the values differ.
  const Font all = doc.content().font();
  EXPECT_EQ(all.name, "Arial");
  EXPECT_EQ(all.size, static_cast<float>(wd::kUndefined));
  EXPECT_EQ(all.bold, wd::kUndefined);
  EXPECT_EQ(doc.content().paragraphFormat().alignment, wd::kUndefined);
}

TEST(WordModelTest, ThemeFontsAndScripts) {
  Doc d;
  d.theme =
      "<a:theme xmlns:a=\"" + testing::kA +
      "\" name=\"t\"><a:themeElements><a:fontScheme name=\"f\">"
      "<a:majorFont><a:latin typeface=\"Calibri Light\"/><a:ea typeface=\"\"/>"
      "<a:cs typeface=\"\"/><a:font script=\"Hans\" typeface=\"等线 Light\"/></a:majorFont>"
      "<a:minorFont><a:latin typeface=\"Calibri\"/><a:ea typeface=\"\"/><a:cs typeface=\"\"/>"
      "<a:font script=\"Hans\" typeface=\"等线\"/><a:font script=\"Jpan\" typeface=\"游明朝\"/>"
      "</a:minorFont></a:fontScheme></a:themeElements></a:theme>";
  d.settings = "<w:themeFontLang w:val=\"en-US\" w:eastAsia=\"zh-CN\"/>";
  d.styles =
      "<w:docDefaults><w:rPrDefault><w:rPr><w:rFonts w:asciiTheme=\"minorHAnsi\" "
      "w:hAnsiTheme=\"minorHAnsi\" w:eastAsiaTheme=\"minorEastAsia\" w:ascii=\"Ignored\"/>"
      "</w:rPr></w:rPrDefault></w:docDefaults>";
  d.body = p("Latin") + p("中文，标点") + p("混合mixed") +
           p("“引号”", "", "<w:rFonts w:hint=\"eastAsia\"/>") + p("“quotes”") +
           p("标题", "", "<w:rFonts w:eastAsiaTheme=\"majorEastAsia\"/>") + "<w:p/>";
  const Document doc = d.open();
  const auto name = [&](int32_t i) { return doc.paragraphs(i).range().font().name; };
  EXPECT_EQ(name(1), "Calibri");
  EXPECT_EQ(name(2), "等线");
  EXPECT_EQ(name(3), "");  // Chinese and Latin text in different fonts
  EXPECT_EQ(name(4), "等线");
  EXPECT_EQ(name(5), "Calibri");
  EXPECT_EQ(name(6), "等线 Light");
  EXPECT_EQ(name(7), "Calibri");  // an empty paragraph: its mark
  // No size anywhere: Word's 10 points.
  EXPECT_EQ(doc.paragraphs(1).range().font().size, 10);
}

TEST(WordModelTest, TextAsWordGivesIt) {
  Doc d;
  d.body =
      "<w:p><w:r><w:t>a</w:t><w:tab/><w:t>b</w:t><w:br/><w:t>c</w:t><w:br w:type=\"page\"/>"
      "<w:sym w:font=\"Wingdings\" w:char=\"F04A\"/><w:noBreakHyphen/></w:r>"
      // A field: its code is no text, its result is.
      "<w:r><w:fldChar w:fldCharType=\"begin\"/></w:r><w:r><w:instrText> PAGE </w:instrText></w:r>"
      "<w:r><w:fldChar w:fldCharType=\"separate\"/></w:r><w:r><w:t>7</w:t></w:r>"
      "<w:r><w:fldChar w:fldCharType=\"end\"/></w:r>"
      "<w:hyperlink r:id=\"x\"><w:r><w:t>link</w:t></w:r></w:hyperlink>"
      "<w:ins><w:r><w:t>+</w:t></w:r></w:ins><w:del><w:r><w:delText>-</w:delText></w:r></w:del>"
      "<w:sdt><w:sdtContent><w:r><w:t>[sdt]</w:t></w:r></w:sdtContent></w:sdt>"
      // A picture in the line is a character; a floating one is not.
      "<w:r><w:drawing><wp:inline/></w:drawing><w:drawing><wp:anchor/></w:drawing></w:r>"
      "<mc:AlternateContent><mc:Choice Requires=\"w14\"><w:r><w:t>new</w:t></w:r></mc:Choice>"
      "<mc:Fallback><w:r><w:t>old</w:t></w:r></mc:Fallback></mc:AlternateContent>"
      "<w:bookmarkStart w:id=\"0\" w:name=\"b\"/><w:proofErr w:type=\"spellStart\"/>"
      "</w:p>"
      "<w:sdt><w:sdtContent>" +
      p("block sdt") + "</w:sdtContent></w:sdt>";
  const Document doc = d.open();
  ASSERT_EQ(doc.paragraphCount(), 2);
  EXPECT_EQ(doc.paragraphs(1).range().text(),
            "a\tb\vc\f(\x1E"
            "7link+-[sdt]\x01old\r");
  EXPECT_EQ(doc.paragraphs(2).range().text(), "block sdt\r");
}

// Shapes and pictures that float (anchored DrawingML, VML positioned
// absolutely) are no character of the paragraph: neither its text nor its
// formatting. Those in line with the text are one character each, in the
// format of their run.
TEST(WordModelTest, FloatingShapesAreNoText) {
  struct Case {
    const char* what;
    std::string object;  // in a 10-point run after 16-point Chinese text
    bool inLine;
  } cases[] = {
      {"VML text box",
       "<w:pict><v:shape style=\"position:absolute;margin-left:-17.85pt;width:1in;height:31.2pt;"
       "z-index:1\"><v:textbox><w:txbxContent>" +
           p("附件五") + "</w:txbxContent></v:textbox></v:shape></w:pict>",
       false},
      {"VML line",
       "<w:pict><v:line style=\"position:absolute;z-index:2\" from=\"252pt,146.8pt\" "
       "to=\"525.6pt,146.8pt\"/></w:pict>",
       false},
      {"VML group",
       "<w:pict><v:group style=\"position:absolute;width:50pt;height:50pt\" coordsize=\"100,100\">"
       "<v:rect style=\"position:absolute;width:50;height:50\"/></v:group></w:pict>",
       false},
      {"VML shape after its type",
       "<w:pict><v:shapetype id=\"t202\" coordsize=\"21600,21600\"/><v:shape type=\"#t202\" "
       "style=\"width:20pt;position:absolute;height:20pt\"/></w:pict>",
       false},
      {"floating OLE object",
       "<w:object><v:shape style=\"position:absolute;width:300pt;height:100pt\"/>"
       "<o:OLEObject Type=\"Embed\" ProgID=\"Excel.Sheet.12\"/></w:object>",
       false},
      {"anchored drawing", "<w:drawing><wp:anchor/></w:drawing>", false},
      {"drawing shape or its VML fallback",
       "<mc:AlternateContent><mc:Choice Requires=\"wps\"><w:drawing><wp:anchor/></w:drawing>"
       "</mc:Choice><mc:Fallback><w:pict><v:rect style=\"position:absolute;width:9pt\"/>"
       "</w:pict></mc:Fallback></mc:AlternateContent>",
       false},
      {"VML picture in line", "<w:pict><v:shape style=\"width:20pt;height:20pt\"/></w:pict>", true},
      {"VML group in line (its shapes placed inside it)",
       "<w:pict><v:group style=\"width:50pt;height:50pt\" coordsize=\"100,100\">"
       "<v:rect style=\"position:absolute;width:50;height:50\"/></v:group></w:pict>",
       true},
      {"OLE object in line",
       "<w:object><v:shape style=\"width:361.9pt;height:145.9pt\" o:ole=\"\"/>"
       "<o:OLEObject Type=\"Embed\" ProgID=\"Excel.Sheet.12\"/></w:object>",
       true},
      {"drawing in line", "<w:drawing><wp:inline/></w:drawing>", true},
  };
  Doc d;
  const std::string big = "<w:rPr><w:sz w:val=\"32\"/></w:rPr>";
  for (const Case& c : cases)
    d.body += "<w:p><w:pPr>" + big + "</w:pPr><w:r>" + big + "<w:t>中文</w:t></w:r>" +
              "<w:r><w:rPr><w:b/><w:sz w:val=\"20\"/></w:rPr>" + c.object + "</w:r></w:p>";
  // A paragraph of nothing but a floating shape is an empty one.
  d.body += "<w:p><w:pPr>" + big + "</w:pPr><w:r><w:rPr><w:sz w:val=\"20\"/></w:rPr>" +
            cases[0].object + "</w:r></w:p>";
  const Document doc = d.open();
  ASSERT_EQ(doc.paragraphCount(), static_cast<int32_t>(std::size(cases)) + 1);
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].what);
    const Range r = doc.paragraphs(static_cast<int32_t>(i + 1)).range();
    const Font f = r.font();
    if (cases[i].inLine) {
      EXPECT_EQ(r.text(), "中文\x01\r");
      EXPECT_EQ(f.size, static_cast<float>(wd::kUndefined));
      EXPECT_EQ(f.bold, wd::kUndefined);
    } else {
      EXPECT_EQ(r.text(), "中文\r");
      EXPECT_EQ(f, (Font{"宋体", 16, 0, 0, 0, 0}));
    }
  }
  const Range alone = doc.paragraphs(doc.paragraphCount()).range();
  EXPECT_EQ(alone.text(), "\r");
  EXPECT_EQ(alone.font().size, 16);
  // Nor are they words.
  EXPECT_EQ(doc.words(1).text(), "中文");
}

TEST(WordModelTest, SectionsLinkTheirHeadersAndFooters) {
  Doc d;
  d.styles =
      "<w:style w:type=\"paragraph\" w:default=\"1\" w:styleId=\"Normal\"><w:name "
      "w:val=\"Normal\"/>"
      "</w:style><w:style w:type=\"paragraph\" w:styleId=\"a3\"><w:name w:val=\"header\"/>"
      "<w:pPr><w:jc w:val=\"center\"/></w:pPr><w:rPr><w:sz w:val=\"18\"/></w:rPr></w:style>";
  d.parts = {{"header1.xml", header("hdr", p("一", "<w:jc w:val=\"right\"/>"))},
             {"header2.xml", header("hdr", p("二") + p("三", "<w:jc w:val=\"center\"/>"))},
             {"footer1.xml", "<w:ftr"}};  // damaged: reads as empty
  // rId1 styles, rId2/rId3 headers, rId4 the damaged footer.
  const auto sect = [](const std::string& refs, int w, int h, const std::string& more = "") {
    return "<w:sectPr>" + refs + "<w:pgSz w:w=\"" + std::to_string(w) + "\" w:h=\"" +
           std::to_string(h) + "\"/>" + more + "</w:sectPr>";
  };
  d.body = "<w:p><w:pPr>" +
           sect(
               "<w:headerReference w:type=\"default\" r:id=\"rId2\"/>"
               "<w:footerReference w:type=\"default\" r:id=\"rId4\"/>",
               11906, 16838) +
           "</w:pPr><w:r><w:t>one</w:t></w:r></w:p>" + "<w:p><w:pPr>" + sect("", 12240, 15840) +
           "</w:pPr><w:r><w:t>two</w:t></w:r></w:p>" + p("three") +
           sect("<w:headerReference w:type=\"default\" r:id=\"rId3\"/>", 11906, 16838,
                "<w:pgMar w:top=\"-1440\" w:bottom=\"1440\" w:left=\"1800\" w:right=\"1800\" "
                "w:header=\"851\" w:footer=\"992\" w:gutter=\"0\"/>");
  const Document doc = d.open();
  ASSERT_EQ(doc.sectionCount(), 3);
  EXPECT_EQ(doc.paragraphs(1).range().text(), "one\f");

  const Range h1 = doc.sections(1).headers(1).range();
  EXPECT_EQ(h1.text(), "一\r");
  EXPECT_EQ(h1.paragraphFormat().alignment, 2);
  // The second section defines none: the first one's.
  EXPECT_EQ(doc.sections(2).headers(1).range().text(), "一\r");
  const Range h3 = doc.sections(3).headers(1).range();
  EXPECT_EQ(h3.text(), "二\r三\r");
  EXPECT_EQ(h3.paragraphFormat().alignment, wd::kUndefined);
  // A damaged footer and a footer no section defines: Word's empty one.
  EXPECT_EQ(doc.sections(1).footers(1).range().text(), "\r");
  EXPECT_EQ(doc.sections(3).footers(1).range().text(), "\r");
  // The first-page header no section defines: empty, in the header style
  // (found by its name, whatever its id).
  const Range first = doc.sections(1).headers(2).range();
  EXPECT_EQ(first.text(), "\r");
  EXPECT_EQ(first.paragraphFormat().alignment, 1);
  EXPECT_EQ(first.font().size, 9);
  EXPECT_EQ(errorOf([&] { doc.sections(1).headers(4); }).number(), wd::kNoSuchMember);

  EXPECT_EQ(doc.sections(1).pageSetup().paperSize, 7);
  EXPECT_EQ(doc.sections(2).pageSetup().paperSize, 2);
  const PageSetup third = doc.sections(3).pageSetup();
  EXPECT_EQ(third.topMargin, 72);  // a negative top margin, reported by its size
  // Without columns: one, 720 twips of spacing.
  EXPECT_EQ(third.textColumns.widths, std::vector<float>{415.3f});
  EXPECT_EQ(third.textColumns.spacing, 36);
}

TEST(WordModelTest, TablesCellsAndRowEnds) {
  Doc d;
  d.styles =
      "<w:style w:type=\"paragraph\" w:default=\"1\" w:styleId=\"Normal\"><w:name "
      "w:val=\"Normal\"/>"
      "</w:style>"
      // A table style: centred text, vertically centred cells, and a bold,
      // shaded first row with bottom-aligned cells.
      "<w:style w:type=\"table\" w:styleId=\"Grid\"><w:pPr><w:jc w:val=\"center\"/></w:pPr>"
      "<w:tblPr><w:tblBorders><w:top w:val=\"single\" w:sz=\"8\"/><w:left w:val=\"single\" "
      "w:sz=\"8\"/>"
      "<w:bottom w:val=\"single\" w:sz=\"8\"/><w:right w:val=\"single\" w:sz=\"8\"/>"
      "<w:insideH w:val=\"dashed\" w:sz=\"4\" w:color=\"FF0000\"/>"
      "<w:insideV w:val=\"dashed\" w:sz=\"4\" w:color=\"FF0000\"/></w:tblBorders></w:tblPr>"
      "<w:tcPr><w:vAlign w:val=\"center\"/></w:tcPr>"
      "<w:tblStylePr w:type=\"firstRow\"><w:rPr><w:b/></w:rPr><w:tcPr>"
      "<w:shd w:val=\"solid\" w:color=\"000080\" w:fill=\"auto\"/><w:vAlign w:val=\"bottom\"/>"
      "</w:tcPr></w:tblStylePr></w:style>";
  const auto cell = [](const std::string& content, const std::string& tcPr = "") {
    return "<w:tc>" + (tcPr.empty() ? "" : "<w:tcPr>" + tcPr + "</w:tcPr>") + content + "</w:tc>";
  };
  const std::string nested = "<w:tbl><w:tr>" + cell(p("inner")) + "</w:tr></w:tbl>";
  d.body = p("before") +
           "<w:tbl><w:tblPr><w:tblStyle w:val=\"Grid\"/><w:tblLook w:val=\"0020\"/></w:tblPr>"
           "<w:tr>" +
           cell(p("h1")) + cell(p("h2")) + "</w:tr><w:tr>" +
           cell(p("a") + p("b"), "<w:vAlign w:val=\"top\"/>") + cell(nested + p("after")) +
           "</w:tr></w:tbl>" + p("end");
  const Document doc = d.open();
  std::vector<std::string> texts;
  for (int32_t i = 1; i <= doc.paragraphCount(); ++i)
    texts.push_back(doc.paragraphs(i).range().text());
  EXPECT_EQ(texts, (std::vector<std::string>{"before\r", "h1\r\a", "h2\r\a", "\r\a", "a\r", "b\r\a",
                                             "inner\r\a", "\r\a", "after\r\a", "\r\a", "end\r"}));
  ASSERT_EQ(doc.tableCount(), 2);  // the nested table after its parent

  const Range h1 = doc.paragraphs(2).range();
  EXPECT_EQ(h1.font().bold, wd::kTrue);
  EXPECT_EQ(h1.paragraphFormat().alignment, 1);
  EXPECT_EQ(h1.cells(),
            (Cells{wd::kCellAlignVerticalBottom, Shading{1000, 8388608, wd::kColorAutomatic}}));
  const Range a = doc.paragraphs(5).range();
  EXPECT_EQ(a.font().bold, wd::kFalse);
  EXPECT_EQ(a.cells().verticalAlignment, wd::kCellAlignVerticalTop);
  EXPECT_EQ(doc.paragraphs(9).range().cells().verticalAlignment, wd::kCellAlignVerticalCenter);
  // Cells of a paragraph outside any table: Word refuses.
  EXPECT_EQ(errorOf([&] { doc.paragraphs(1).range().cells(); }).number(), wd::kNotInTable);
  // Over cells that differ.
  EXPECT_EQ(doc.content().paragraphFormat().alignment, wd::kUndefined);

  // The style's lines: single 1 point in the automatic colour outside,
  // dashed red half-point inside.
  EXPECT_EQ(doc.tables(1).borders(), (Borders{1, 8, 0, 4, 4, 6}));
  // The nested table has no style and no borders.
  EXPECT_EQ(doc.tables(2).borders(), (Borders{0, 4, 0, 0, 4, 0}));
}

// Where two cells meet, Word draws one border: a cell without a border of
// its own (none included) takes the table's; a side without a line (nil)
// gives way to the other; of two lines the heavier one. The table's inside
// borders are those the edges between its cells show.
TEST(WordModelTest, BordersWhereCellsMeet) {
  const auto line = [](const char* edge, const char* val, int sz = 4, const char* colour = "auto") {
    return std::string("<w:") + edge + " w:val=\"" + val + "\" w:sz=\"" + std::to_string(sz) +
           "\" w:space=\"0\" w:color=\"" + colour + "\"/>";
  };
  const auto table = [](const std::string& borders, const std::string& rows) {
    return "<w:tbl><w:tblPr><w:tblBorders>" + borders + "</w:tblBorders></w:tblPr>" + rows +
           "</w:tbl><w:p/>";
  };
  const auto cell = [](const std::string& tcPr = "", const std::string& tcBorders = "") {
    return "<w:tc><w:tcPr>" + tcPr +
           (tcBorders.empty() ? "" : "<w:tcBorders>" + tcBorders + "</w:tcBorders>") +
           "</w:tcPr><w:p/></w:tc>";
  };
  const auto row = [](const std::string& cells) { return "<w:tr>" + cells + "</w:tr>"; };
  std::string singleOutside;
  for (const char* e : {"top", "left", "bottom", "right"}) singleOutside += line(e, "single");
  const std::string singleInside = line("insideH", "single") + line("insideV", "single");
  const std::string doubleInside = line("insideH", "double") + line("insideV", "double");

  Doc d;
  // 1. One row's cells end in a single line, the next row's begin with a
  //    double one: the double line wins there, single lines elsewhere.
  d.body += table(singleOutside + singleInside,
                  row(cell("", line("bottom", "single")) + cell("", line("bottom", "single"))) +
                      row(cell("", line("top", "double")) + cell("", line("top", "double"))) +
                      row(cell() + cell()));
  // 2. The same meeting where the table's inside lines are double too.
  d.body += table(singleOutside + doubleInside,
                  row(cell("", line("bottom", "single")) + cell("", line("bottom", "single"))) +
                      row(cell("", line("top", "double")) + cell("", line("top", "double"))));
  // 3. A wide single line outweighs a thin double one (24 against 12).
  d.body += table(
      singleOutside + singleInside,
      row(cell("", line("right", "double", 4)) + cell("", line("left", "single", 24, "FF0000"))));
  // 4. Cells that set only their left and top lines, nil on the other
  //    sides, show the grid of those lines (nil is no line of the cell's,
  //    not the table's double one).
  d.body += table(singleOutside + doubleInside,
                  row(cell("", line("right", "nil") + line("bottom", "nil")) +
                      cell("", line("left", "single", 8) + line("bottom", "nil"))) +
                      row(cell("", line("top", "single", 8) + line("right", "nil")) +
                          cell("", line("top", "single", 8) + line("left", "single", 8))));
  // 5. none on a cell is no line of its own: the table's shows, inside and out.
  d.body += table(singleOutside + line("insideH", "dashed", 4, "FF0000") +
                      line("insideV", "dashed", 4, "FF0000"),
                  row(cell("", line("left", "none") + line("right", "none")) + cell()));
  // 6. Rows whose cells span different grid columns: the third cell of the
  //    first row meets the second of the next, which spans no column of the
  //    second.
  d.body += table(singleOutside + singleInside,
                  row(cell() + cell() + cell("", line("bottom", "double"))) +
                      row(cell("<w:gridSpan w:val=\"2\"/>") + cell()));
  // 7. Cells merged down have no edge between them.
  d.body += table(singleOutside + singleInside,
                  row(cell("<w:vMerge w:val=\"restart\"/>", line("bottom", "double")) + cell()) +
                      row(cell("<w:vMerge/>") + cell()));
  // 8. A cell's line does not win over the table's for being the cell's:
  //    the table's double line outweighs it.
  d.body += table(singleOutside + doubleInside, row(cell("", line("right", "single")) + cell()));
  const Document doc = d.open();
  ASSERT_EQ(doc.tableCount(), 8);
  const auto inside = [&](int32_t t) {
    const Borders b = doc.tables(t).borders();
    return std::vector<int32_t>{b.insideLineStyle, b.insideLineWidth, b.insideColorIndex};
  };
  EXPECT_EQ(inside(1), (std::vector<int32_t>{wd::kUndefined, 4, 0}));
  EXPECT_EQ(inside(2), (std::vector<int32_t>{7, 4, 0}));
  EXPECT_EQ(inside(3), (std::vector<int32_t>{1, 24, 6}));
  EXPECT_EQ(inside(4), (std::vector<int32_t>{1, 8, 0}));
  EXPECT_EQ(doc.tables(5).borders(), (Borders{1, 4, 0, 4, 4, 6}));
  EXPECT_EQ(inside(6), (std::vector<int32_t>{wd::kUndefined, 4, 0}));
  EXPECT_EQ(inside(7), (std::vector<int32_t>{1, 4, 0}));
  EXPECT_EQ(inside(8), (std::vector<int32_t>{7, 4, 0}));
}

TEST(WordModelTest, WordsAndSentencesOfTheDocument) {
  Doc d;
  d.body = p("Hello, hello world. Bye!", "", "<w:b/>") +
           "<w:p><w:r><w:rPr><w:b/></w:rPr><w:t xml:space=\"preserve\">bold </w:t></w:r>"
           "<w:r><w:t>plain</w:t></w:r></w:p>";
  const Document doc = d.open();
  std::vector<std::string> words;
  for (int32_t i = 1; i <= doc.wordCount(); ++i) words.push_back(doc.words(i).text());
  EXPECT_EQ(words, (std::vector<std::string>{"Hello", ", ", "hello ", "world", ". ", "Bye", "!",
                                             "\r", "bold ", "plain", "\r"}));
  EXPECT_EQ(doc.words(9).font().bold, wd::kTrue);  // the space is bold too
  ASSERT_EQ(doc.sentenceCount(), 3);
  EXPECT_EQ(doc.sentences(2).text(), "Bye!\r");
  EXPECT_EQ(errorOf([&] { doc.words(12); }).number(), wd::kNoSuchMember);
  EXPECT_EQ(errorOf([&] { doc.sentences(0); }).number(), wd::kNoSuchMember);
}

TEST(WordModelTest, NumberingIndents) {
  Doc d;
  d.numbering =
      "<w:abstractNum w:abstractNumId=\"0\"><w:lvl w:ilvl=\"0\"><w:pPr>"
      "<w:ind w:leftChars=\"200\" w:hangingChars=\"200\"/></w:pPr></w:lvl>"
      "<w:lvl w:ilvl=\"1\"><w:pPr><w:ind w:leftChars=\"400\"/></w:pPr></w:lvl></w:abstractNum>"
      "<w:num w:numId=\"1\"><w:abstractNumId w:val=\"0\"/></w:num>"
      "<w:num w:numId=\"2\"><w:abstractNumId w:val=\"0\"/><w:lvlOverride w:ilvl=\"0\">"
      "<w:lvl w:ilvl=\"0\"><w:pPr><w:ind w:leftChars=\"300\"/></w:pPr></w:lvl>"
      "</w:lvlOverride></w:num>";
  const std::string num = "<w:numPr><w:ilvl w:val=\"0\"/><w:numId w:val=\"1\"/></w:numPr>";
  d.body = p("one", num) +
           p("two", "<w:numPr><w:ilvl w:val=\"1\"/><w:numId w:val=\"1\"/></w:numPr>") +
           p("three", "<w:numPr><w:numId w:val=\"2\"/></w:numPr>") +
           p("own", num + "<w:ind w:firstLineChars=\"100\"/>") +
           p("none", "<w:numPr><w:numId w:val=\"0\"/></w:numPr>");
  const Document doc = d.open();
  EXPECT_EQ(doc.paragraphs(1).characterUnitLeftIndent(), 2);
  EXPECT_EQ(doc.paragraphs(1).characterUnitFirstLineIndent(), -2);
  EXPECT_EQ(doc.paragraphs(2).characterUnitLeftIndent(), 4);
  EXPECT_EQ(doc.paragraphs(3).characterUnitLeftIndent(), 3);
  EXPECT_EQ(doc.paragraphs(4).characterUnitFirstLineIndent(), 1);  // the paragraph's own wins
  EXPECT_EQ(doc.paragraphs(5).characterUnitLeftIndent(), 0);
}

TEST(WordModelTest, FilesWordCannotOpen) {
  // A workbook, a package without a main part, XML that is not well-formed.
  Doc broken;
  broken.body = "<w:p>";
  const std::vector<std::string> files = {
      testing::zipBytes(testing::workbookEntries()),
      testing::zipBytes({{"[Content_Types].xml",
                          "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/"
                          "content-types\"/>"}}),
      broken.bytes(), "plain text, no package"};
  for (const std::string& bytes : files) {
    const AutomationError e = errorOf([&] { Document::fromBytes(bytes); });
    EXPECT_EQ(e.number(), wd::kCannotOpenFile) << e.description();
    EXPECT_EQ(e.source(), "Microsoft Word");
  }
}

TEST(WordModelTest, StrictDocumentsAndClosing) {
  Doc d;
  d.body = p("strict");
  std::string bytes = d.bytes();
  // The same document in Strict namespaces.
  std::vector<Entry> entries = {
      {"[Content_Types].xml",
       "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
       "<Default Extension=\"xml\" ContentType=\"application/xml\"/></Types>"},
      {"_rels/.rels",
       "<Relationships xmlns=\"" + testing::kPkgRel +
           "\"><Relationship Id=\"d\" Type=\"http://purl.oclc.org/ooxml/officeDocument/"
           "relationships/officeDocument\" Target=\"word/document.xml\"/></Relationships>"},
      {"word/document.xml", "<document xmlns=\"" + kWStrict +
                                "\"><body><p><r><t>strict</t></r>"
                                "</p></body></document>"}};
  Document doc = Document::fromBytes(testing::zipBytes(entries));
  const Range r = doc.paragraphs(1).range();
  EXPECT_EQ(r.text(), "strict\r");
  doc.close();
  EXPECT_EQ(errorOf([&] { doc.paragraphCount(); }).number(), wd::kNoDocumentOpen);
  EXPECT_EQ(r.text(), "strict\r");  // a range taken before keeps its document
  EXPECT_EQ(errorOf([&] { Document::fromBytes(bytes).paragraphs(2); }).number(), wd::kNoSuchMember);
}

// Lengths written as universal measures ("14pt", "2.5cm"), which the
// measure types of WordprocessingML allow, read in Word's units as their
// plain twins do.
TEST(WordModelTest, LengthsInUniversalMeasures) {
  Doc d;
  d.styles =
      "<w:style w:type=\"paragraph\" w:styleId=\"Big\"><w:rPr><w:sz w:val=\"0.25in\"/></w:rPr>"
      "</w:style>";
  const auto section = [](const std::string& pgSz, const std::string& pgMar,
                          const std::string& cols) {
    return "<w:sectPr><w:pgSz " + pgSz + "/><w:pgMar " + pgMar + "/><w:cols " + cols +
           "/></w:sectPr>";
  };
  d.body =
      p("measured", "<w:spacing w:line=\"18pt\" w:lineRule=\"exact\"/>", "<w:sz w:val=\"14pt\"/>") +
      p("plain", "<w:spacing w:line=\"360\" w:lineRule=\"exact\"/>", "<w:sz w:val=\"28\"/>") +
      p("styled", "<w:pStyle w:val=\"Big\"/>") + p("not a measure", "", "<w:sz w:val=\"14 pt\"/>") +
      "<w:p><w:pPr>" +
      section("w:w=\"21cm\" w:h=\"29.7cm\"",
              "w:top=\"1in\" w:left=\"2.5cm\" w:bottom=\"-25.4mm\" w:right=\"6pc\" "
              "w:header=\"1pi\" w:footer=\"0.5in\" w:gutter=\"0\"",
              "w:num=\"2\" w:space=\"0.5in\"") +
      "</w:pPr></w:p>" +
      section("w:w=\"11906\" w:h=\"16838\"",
              "w:top=\"1440\" w:left=\"1417\" w:bottom=\"-1440\" w:right=\"1440\" "
              "w:header=\"240\" w:footer=\"720\" w:gutter=\"0\"",
              "w:num=\"2\" w:space=\"720\"");
  const Document doc = d.open();
  for (int32_t i : {1, 2}) {
    SCOPED_TRACE(i);
    const Range r = doc.paragraphs(i).range();
    EXPECT_EQ(r.font().size, 14);
    EXPECT_EQ(r.paragraphFormat(), (ParagraphFormat{0, wd::kLineSpaceExactly, 18}));
  }
  EXPECT_EQ(doc.paragraphs(3).range().font().size, 18);
  EXPECT_EQ(doc.paragraphs(4).range().font().size, 10);  // as if it were not there

  const PageSetup measured = doc.sections(1).pageSetup();
  EXPECT_EQ(measured.paperSize, 7);  // A4
  EXPECT_EQ(measured.topMargin, 72);
  EXPECT_FLOAT_EQ(measured.leftMargin, 70.85f);
  EXPECT_EQ(measured.bottomMargin, 72);
  EXPECT_EQ(measured.rightMargin, 72);
  EXPECT_EQ(measured.headerDistance, 12);
  EXPECT_EQ(measured.footerDistance, 36);
  EXPECT_EQ(measured.textColumns.spacing, 36);
  EXPECT_EQ(measured, doc.sections(2).pageSetup());
}

// Markup compatibility in the style sheet (whose styles are parsed as they
// are asked for) and in the document: Word's own extensions (w14) and
// another program's namespaces give way to the Fallback.
TEST(WordModelTest, AlternateContentInStylesAndProperties) {
  const auto alternate = [](const std::string& needs, const std::string& choice,
                            const std::string& fallback) {
    return "<mc:AlternateContent><mc:Choice Requires=\"" + needs + "\">" + choice +
           "</mc:Choice><mc:Fallback>" + fallback + "</mc:Fallback></mc:AlternateContent>";
  };
  Doc d;
  d.styles = alternate("w14", "<w:style w:type=\"paragraph\" w:styleId=\"A\"/>",
                       "<w:style w:type=\"paragraph\" w:styleId=\"A\"><w:rPr><w:b/>"
                       "<w:sz w:val=\"32\"/></w:rPr></w:style>");
  d.body = "<w:p><w:pPr><w:pStyle w:val=\"A\"/>" +
           alternate("w14", "<w:jc w:val=\"right\"/>", "<w:jc w:val=\"center\"/>") +
           "</w:pPr><w:r><w:t>a</w:t></w:r></w:p>";
  const Document doc = d.open();
  const Range r = doc.paragraphs(1).range();
  EXPECT_EQ(r.font().size, 16);
  EXPECT_EQ(r.font().bold, wd::kTrue);
  EXPECT_EQ(r.paragraphFormat().alignment, 1);
}

}  // namespace
}  // namespace bq::office::word
