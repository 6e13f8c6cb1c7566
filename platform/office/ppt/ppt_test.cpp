// The PowerPoint object model on the test presentations of the extractor
// (scoring/extractors/testdata/ppt, made by make_decks.py, whose comments
// say what each deck holds) and on small damaged packages.
#include "platform/office/ppt/ppt.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <string>
#include <vector>

#include "common/automation_error.h"
#include "platform/office/testing/test_packages.h"

namespace bq::office::ppt {
namespace {

using testing::errorOf;

const std::string kDecks = BQ_PPT_DECKS;

Presentation deck(const std::string& name) { return Presentation::open(kDecks + "/" + name); }

constexpr int32_t kBlack = 0;
constexpr int32_t kRed = 0x0000FF;   // ColorFormat.RGB is red + 256 green + 65536 blue
constexpr int32_t kBlue = 0xFF0000;  // the theme's hyperlink colour 0000FF

TEST(PptTest, TemplateNamesAndLayouts) {
  EXPECT_EQ(deck("layouts.pptx").templateName(), "Office 主题");
  EXPECT_EQ(deck("transitions_same.pptx").templateName(), "Blends");
  Presentation p = deck("layouts.pptx");
  ASSERT_EQ(p.slideCount(), 5);
  const int32_t layouts[] = {1, 16, 29, 11, 12};
  for (int32_t i = 1; i <= 5; ++i) EXPECT_EQ(p.slides(i).layout(), layouts[i - 1]) << i;
  EXPECT_EQ(p.slides(2).slideId(), 257u);
  EXPECT_EQ(errorOf([&] { p.slides(6); }).number(), kOutOfRangeNumber);
  // pptxgenjs's only layout has no type: a custom layout.
  EXPECT_EQ(deck("pptxgen.pptx").slides(1).layout(), 32);
}

TEST(PptTest, TransitionsOfSlidesAndOfTheWholeRange) {
  Presentation mixed = deck("transitions_mixed.pptx");
  const SlideShowTransition slides[] = {
      {2820, 2, -1, 0, 0},  // wipe down, medium
      {3865, 1, -1, 0, 0},  // PowerPoint 2010's vortex right (the choice, not the fade fallback), slow
      {1286, 3, -1, -1, 2},  // cover right-up, fast, after 3 s, with a sound
  };
  for (int32_t i = 1; i <= 3; ++i) EXPECT_EQ(mixed.slides(i).slideShowTransition(), slides[i - 1]) << i;
  EXPECT_EQ(mixed.range().slideShowTransition(), (SlideShowTransition{-2, -2, -1, -2, -2}));

  // PowerPoint 2013's curtains give way to their blinds fallback.
  EXPECT_EQ(deck("transitions_same.pptx").range().slideShowTransition(),
            (SlideShowTransition{770, 1, 0, -1, 1}));
  // No transition at all: none, fast, on click.
  EXPECT_EQ(deck("layouts.pptx").range().slideShowTransition(), (SlideShowTransition{0, 3, -1, 0, 0}));
}

TEST(PptTest, HyperlinksToAddressesAndToSlides) {
  Presentation actions = deck("actions.pptx");
  EXPECT_EQ(actions.slides(1).hyperlinks(),
            (std::vector<Hyperlink>{{"http://www.example.com/", ""}, {"", "257,2,第二页"}}));
  EXPECT_EQ(actions.slides(2).hyperlinks(), (std::vector<Hyperlink>{{"", "258,3,幻灯片 3"}}));
  EXPECT_TRUE(actions.slides(3).hyperlinks().empty());
  EXPECT_EQ(deck("text.pptx").slides(1).hyperlinks(),
            (std::vector<Hyperlink>{{"http://www.example.com/index.html", "top"}}));
}

TEST(PptTest, TextAndFontThroughTheInheritance) {
  Presentation layouts = deck("layouts.pptx");
  const TextRange title = layouts.slides(1).shapes(1).textRange();
  EXPECT_EQ(title.text, "考试演示文稿");
  EXPECT_EQ(title.font, (Font{"Arial", "黑体", 44, 0, 0, 0, 0, kBlack}));
  // The layout's subtitle style: 75% tint of black, on linear light.
  EXPECT_EQ(layouts.slides(1).shapes(2).textRange().font,
            (Font{"Times New Roman", "宋体", 32, 0, 0, 0, 0, 0x898989}));
  const TextRange body = layouts.slides(2).shapes(2).textRange();
  EXPECT_EQ(body.text, "第一章\r第一节");
  EXPECT_EQ(body.font.size, -2);  // 32 and 28 points
  EXPECT_EQ(layouts.slides(3).shapes(3).textRange().font.size, 20);

  Presentation text = deck("text.pptx");
  Slide s = text.slides(1);
  EXPECT_EQ(s.shapes(1).textRange().font, (Font{"Times New Roman", "宋体", 18, 0, 0, 0, 0, kBlack}));
  EXPECT_EQ(s.shapes(2).textRange().font, (Font{"Arial", "黑体", 24, -1, 0, 0, 0, kRed}));
  const TextRange styled = s.shapes(3).textRange();
  EXPECT_EQ(styled.text, "  斜体下划线  ");
  // Accent 1 darker by 25% (luminance 75%): PowerPoint's 376092.
  EXPECT_EQ(styled.font, (Font{"Times New Roman", "宋体", 18, 0, -1, -1, -1, 0x926037}));
  // Courier New and Times New Roman, both with 宋体 for East Asian text.
  EXPECT_EQ(s.shapes(4).textRange().font, (Font{"", "宋体", -2, -2, 0, 0, 0, kBlack}));
  EXPECT_EQ(s.shapes(5).textRange().font.colorRgb, kBlue);
  EXPECT_EQ(s.shapes(6).textRange().font.nameAscii, "Arial");
  EXPECT_EQ(s.shapes(6).textRange().font.nameFarEast, "ＭＳ ゴシック");
  const TextRange empty = s.shapes(7).textRange();
  EXPECT_EQ(empty.text, "");
  EXPECT_EQ(empty.font, (Font{"Times New Roman", "宋体", 18, 0, 0, 0, 0, kBlack}));

  // A drawn AutoShape: the style's minor font in lt1 (white).
  EXPECT_EQ(deck("actions.pptx").slides(1).shapes(1).textRange().font.colorRgb, 0xFFFFFF);
}

TEST(PptTest, ShapesWithoutATextFrameRefuseIt) {
  Presentation fills = deck("fills.pptx");
  Slide s = fills.slides(1);
  ASSERT_EQ(s.shapeCount(), 13);
  for (int32_t i : {11, 12, 13}) {  // a line, a group, a picture
    EXPECT_FALSE(s.shapes(i).hasTextFrame()) << i;
    AutomationError e = errorOf([&] { s.shapes(i).textRange(); });
    EXPECT_EQ(e.number(), kOutOfRangeNumber);
    EXPECT_EQ(e.description(), kOutOfRangeText);
    EXPECT_EQ(e.source(), "PowerPoint");
  }
  EXPECT_TRUE(s.shapes(1).hasTextFrame());
  EXPECT_EQ(s.shapes(13).name(), "Picture 12");
}

TEST(PptTest, AutoShapeTypesAndFills) {
  Slide s = deck("fills.pptx").slides(1);
  struct Case {
    int32_t shape, autoShapeType;
    FillFormat fill;
  } cases[] = {
      {1, 1, {-1, 1, kBlack}},        // black solid
      {2, 9, {-1, 1, 0xBD814F}},      // the style's accent1 4F81BD
      {3, 5, {0, 1, 0xBD814F}},       // no fill: the style's colour stays
      {4, 51, {-1, 3, 0x00FFFF}},     // gradient from yellow
      {5, 4, {-1, 2, kRed}},          // pattern in red
      {6, 1, {-1, 4, 0xFFFFFF}},      // tiled picture
      {7, 1, {-1, 6, 0xFFFFFF}},      // stretched picture
      // Theme fill 2: a gradient from accent1 at a 50% tint (mixed with
      // white on linear light: C2CDE1).
      {8, 10, {-1, 3, 0xE1CDC2}},
      {9, 21, {-1, 5, 0xFFFFFF}},     // the slide background
      {10, 138, {-1, 1, 0x00FF00}},   // freeform
      {11, -2, {0, 1, 0xBD814F}},     // a line, style fill 0
      {12, -2, {-1, -2, 0x0000FF}},   // a group: solid red and a gradient
      {13, 1, {0, 1, 0xFFFFFF}},      // a picture
  };
  for (const Case& c : cases) {
    EXPECT_EQ(s.shapes(c.shape).autoShapeType(), c.autoShapeType) << c.shape;
    EXPECT_EQ(s.shapes(c.shape).fill(), c.fill) << c.shape;
  }
  // Placeholders take the master's geometry and have no fill of their own.
  Shape title = deck("layouts.pptx").slides(1).shapes(1);
  EXPECT_EQ(title.autoShapeType(), 1);
  EXPECT_EQ(title.fill(), (FillFormat{0, 1, 0xFFFFFF}));
}

TEST(PptTest, ActionSettings) {
  Slide s = deck("actions.pptx").slides(1);
  struct Case {
    int32_t shape, autoShapeType, action, soundType;
    const char* sound;
    int32_t animate;
  } cases[] = {
      {1, 130, 1, 2, "applause.wav", -1},
      {2, 126, 3, 0, "", 0},
      {3, 132, 6, 0, "", 0},
      {4, 1, 7, 0, "", 0},
      {5, 125, 7, 0, "", 0},
      {6, 5, 0, 2, "chimes.wav", 0},
  };
  for (const Case& c : cases) {
    const Shape shape = s.shapes(c.shape);
    EXPECT_EQ(shape.autoShapeType(), c.autoShapeType) << c.shape;
    const ActionSetting a = shape.actionSettings(1);
    EXPECT_EQ(a.action, c.action) << c.shape;
    EXPECT_EQ(a.soundEffectType, c.soundType) << c.shape;
    EXPECT_EQ(a.soundEffectName, c.sound) << c.shape;
    EXPECT_EQ(a.animateAction, c.animate) << c.shape;
    EXPECT_EQ(shape.actionSettings(2).action, 0) << c.shape;
  }
  EXPECT_EQ(errorOf([&] { s.shapes(1).actionSettings(3); }).number(), kOutOfRangeNumber);
}

TEST(PptTest, AnimationSettingsFromTheTimingTree) {
  Slide s = deck("animations.pptx").slides(1);
  const AnimationSettings expected[] = {
      {0, 0, 0, 0, 0},        // the title
      {1, -1, 3329, 0, 2},    // fly in from the left by paragraph, reversed, dimmed
      {0, 0, 1793, 0, 0},     // a picture fading in
      {16, 0, 2818, 2, 1},    // wipe up letter by letter, hidden afterwards
      {0, 0, 0, 0, 0},        // emphasis only
      {16, 0, -2, 0, 3},      // boomerang, hidden on the next click
  };
  ASSERT_EQ(s.shapeCount(), 6);
  for (int32_t i = 1; i <= 6; ++i) EXPECT_EQ(s.shapes(i).animationSettings(), expected[i - 1]) << i;
}

TEST(PptTest, ShapeTypes) {
  Slide fills = deck("fills.pptx").slides(1);
  const std::pair<int32_t, int32_t> cases[] = {{1, 1}, {10, 5}, {11, 9}, {12, 6}, {13, 13}};
  for (const auto& [shape, type] : cases) EXPECT_EQ(fills.shapes(shape).type(), type) << shape;
  EXPECT_EQ(deck("layouts.pptx").slides(1).shapes(1).type(), 14);
  EXPECT_EQ(deck("text.pptx").slides(1).shapes(1).type(), 17);
  Slide media = deck("media.pptx").slides(1);
  EXPECT_EQ(media.shapes(1).type(), 16);
  EXPECT_EQ(media.shapes(2).type(), 16);
  EXPECT_EQ(media.shapes(3).type(), 1);
}

TEST(PptTest, MediaTypesAndSoundFormats) {
  Slide s = deck("media.pptx").slides(1);
  EXPECT_EQ(s.shapes(1).mediaType(), 2);
  EXPECT_EQ(s.shapes(1).soundFormatType(), 1);
  EXPECT_EQ(s.shapes(2).mediaType(), 3);
  EXPECT_EQ(errorOf([&] { s.shapes(2).soundFormatType(); }).number(), kOutOfRangeNumber);
  EXPECT_EQ(errorOf([&] { s.shapes(3).mediaType(); }).number(), kOutOfRangeNumber);
  EXPECT_EQ(errorOf([&] { s.shapes(3).soundFormatType(); }).number(), kOutOfRangeNumber);
}

TEST(PptTest, TheApplicationOpensClosesAndQuits) {
  auto app = Application::create();
  app->setVisible(1);
  app->setWindowState(2);
  EXPECT_EQ(app->visible(), 1);
  EXPECT_EQ(app->windowState(), 2);
  Presentation a = app->open(kDecks + "/layouts.pptx");
  Presentation b = app->open(kDecks + "/text.pptx");
  EXPECT_EQ(app->presentationCount(), 2);
  Slide slide = a.slides(1);
  a.close();
  EXPECT_EQ(app->presentationCount(), 1);
  constexpr int32_t kDisconnected = -2147417848;
  EXPECT_EQ(errorOf([&] { a.templateName(); }).number(), kDisconnected);
  EXPECT_EQ(errorOf([&] { slide.layout(); }).number(), kDisconnected);
  EXPECT_EQ(b.slideCount(), 1);
  app->quit();
  EXPECT_EQ(errorOf([&] { b.slideCount(); }).number(), kDisconnected);
  EXPECT_EQ(errorOf([&] { app->open(kDecks + "/layouts.pptx"); }).number(), kDisconnected);
  EXPECT_EQ(errorOf([&] { app->quit(); }).number(), kDisconnected);
}

// The entries of the zip file `file`, each with every `from` replaced by `to`.
std::vector<testing::Entry> rewritten(const std::string& file,
                                      const std::vector<std::pair<std::string, std::string>>& replace) {
  std::vector<testing::Entry> out;
  zip_t* z = zip_open(file.c_str(), ZIP_RDONLY, nullptr);
  if (!z) return out;
  for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
    zip_stat_t st;
    zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st);
    std::string data(st.size, '\0');
    zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
    zip_fread(f, data.data(), st.size);
    zip_fclose(f);
    for (const auto& [from, to] : replace)
      for (size_t at = data.find(from); at != std::string::npos; at = data.find(from, at + to.size()))
        data.replace(at, from.size(), to);
    out.push_back({st.name, data});
  }
  zip_close(z);
  return out;
}

TEST(PptTest, StrictPresentationsReadAsTransitionalOnes) {
  const std::vector<std::pair<std::string, std::string>> strict = {
      {"http://schemas.openxmlformats.org/presentationml/2006/main", "http://purl.oclc.org/ooxml/presentationml/main"},
      {"http://schemas.openxmlformats.org/drawingml/2006/main", "http://purl.oclc.org/ooxml/drawingml/main"},
      {"http://schemas.openxmlformats.org/officeDocument/2006/relationships",
       "http://purl.oclc.org/ooxml/officeDocument/relationships"},
  };
  Presentation p = Presentation::fromBytes(testing::zipBytes(rewritten(kDecks + "/text.pptx", strict)));
  EXPECT_EQ(p.templateName(), "Office 主题");
  Slide s = p.slides(1);
  EXPECT_EQ(s.layout(), 12);
  EXPECT_EQ(s.shapes(2).textRange().font, (Font{"Arial", "黑体", 24, -1, 0, 0, 0, kRed}));
  EXPECT_EQ(s.hyperlinks(), (std::vector<Hyperlink>{{"http://www.example.com/index.html", "top"}}));
}

TEST(PptTest, FilesThatAreNoPresentationCannotBeOpened) {
  testing::ScratchDir dir;
  testing::writeFile(dir / "notes.ppt", "plain text, not a presentation");
  testing::writeZip(dir / "book.pptx", testing::workbookEntries());
  for (const char* name : {"notes.ppt", "book.pptx"}) {
    AutomationError e = errorOf([&] { Presentation::open(dir / name); });
    EXPECT_EQ(e.number(), kCannotOpenNumber) << name;
    EXPECT_EQ(e.source(), "PowerPoint");
  }
  EXPECT_EQ(errorOf([&] { Presentation::open(dir / "missing.pptx"); }).number(), 53);
}

// A presentation of two slides, the second of which is damaged, with no
// layout, master or theme parts at all.
std::vector<testing::Entry> twoSlides(const std::string& second) {
  const std::string p = "http://schemas.openxmlformats.org/presentationml/2006/main";
  const std::string a = testing::kA;
  const std::string r = testing::kRel;
  const std::string ns = "xmlns:p=\"" + p + "\" xmlns:a=\"" + a + "\" xmlns:r=\"" + r + "\"";
  auto slide = [&](const std::string& shapes) {
    return "<p:sld " + ns + "><p:cSld><p:spTree>" + shapes + "</p:spTree></p:cSld></p:sld>";
  };
  return {
      {"[Content_Types].xml",
       "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
       "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
       "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
       "</Types>"},
      {"_rels/.rels", "<Relationships xmlns=\"" + testing::kPkgRel + "\"><Relationship Id=\"rId1\" Type=\"" + r +
                          "/officeDocument\" Target=\"ppt/presentation.xml\"/></Relationships>"},
      {"ppt/presentation.xml", "<p:presentation " + ns +
                                   "><p:sldIdLst><p:sldId id=\"256\" r:id=\"rId1\"/><p:sldId id=\"257\" "
                                   "r:id=\"rId2\"/></p:sldIdLst></p:presentation>"},
      {"ppt/_rels/presentation.xml.rels",
       "<Relationships xmlns=\"" + testing::kPkgRel + "\"><Relationship Id=\"rId1\" Type=\"" + r +
           "/slide\" Target=\"slides/slide1.xml\"/><Relationship Id=\"rId2\" Type=\"" + r +
           "/slide\" Target=\"slides/slide2.xml\"/></Relationships>"},
      {"ppt/slides/slide1.xml",
       slide("<p:sp><p:nvSpPr><p:cNvPr id=\"2\" name=\"TextBox 1\"/><p:cNvSpPr txBox=\"1\"/><p:nvPr/></p:nvSpPr>"
             "<p:spPr/><p:txBody><a:bodyPr/><a:p><a:r><a:t>plain</a:t></a:r></a:p></p:txBody></p:sp>")},
      {"ppt/slides/slide2.xml", second},
  };
}

TEST(PptTest, ADamagedSlideFailsAloneAndAPresentationWithoutDesignReadsDefaults) {
  Presentation p = Presentation::fromBytes(testing::zipBytes(twoSlides("<p:sld><unclosed>")));
  ASSERT_EQ(p.slideCount(), 2);
  EXPECT_EQ(p.templateName(), "");
  // Without a layout the slide is custom; without a theme its text is the
  // default Office theme's 18-point black Calibri.
  Slide first = p.slides(1);
  EXPECT_EQ(first.layout(), 32);
  EXPECT_EQ(first.shapes(1).textRange().font, (Font{"Calibri", "宋体", 18, 0, 0, 0, 0, kBlack}));
  AutomationError e = errorOf([&] { p.slides(2).layout(); });
  EXPECT_EQ(e.number(), kCannotOpenNumber);
  EXPECT_NE(e.description().find("slide2.xml"), std::string::npos) << e.description();
  EXPECT_EQ(errorOf([&] { p.range().slideShowTransition(); }).number(), kCannotOpenNumber);

  Presentation none = Presentation::fromBytes(testing::zipBytes(twoSlides("<notASlide/>")));
  EXPECT_EQ(errorOf([&] { none.slides(2).shapeCount(); }).number(), kCannotOpenNumber);
}

// Markup compatibility wherever it stands in a slide, resolved with the
// namespaces PowerPoint 2010 knows: its own and Office 2010's drawing ones
// (a14) take their Choice, another program's falls back.
TEST(PptTest, AlternateContentAnywhereInASlide) {
  const std::string mc = "http://schemas.openxmlformats.org/markup-compatibility/2006";
  const auto alternate = [&](const std::string& needs, const std::string& choice,
                             const std::string& fallback) {
    return "<mc:AlternateContent xmlns:mc=\"" + mc + "\"><mc:Choice Requires=\"" + needs + "\">" +
           choice + "</mc:Choice><mc:Fallback>" + fallback + "</mc:Fallback></mc:AlternateContent>";
  };
  const std::string a14 = " xmlns:a14=\"http://schemas.microsoft.com/office/drawing/2010/main\"";
  const std::string hs = " xmlns:hs=\"urn:example:hs\"";
  std::vector<testing::Entry> entries = twoSlides("");
  std::string& slide = entries[4].data;
  const std::string run = "<a:r><a:t>plain</a:t></a:r>";
  slide.replace(slide.find(run), run.size(),
                "<a:r>" + alternate("hs", "<a:rPr sz=\"900\"/>", "<a:rPr sz=\"2800\" b=\"1\"/>") +
                    "<a:t>plain</a:t></a:r>" +
                    alternate("a14", "<a:r><a:rPr sz=\"2800\" b=\"1\"/><a:t>, new</a:t></a:r>",
                              "<a:r><a:t>, old</a:t></a:r>"));
  slide.replace(slide.find("<p:sld "), 7, "<p:sld" + a14 + hs + " ");
  Presentation p = Presentation::fromBytes(testing::zipBytes(entries));
  const TextRange text = p.slides(1).shapes(1).textRange();
  EXPECT_EQ(text.text, "plain, new");
  EXPECT_EQ(text.font, (Font{"Calibri", "宋体", 28, -1, 0, 0, 0, kBlack}));
}

TEST(PptTest, APresentationWithoutSlidesHasNoRange) {
  std::vector<testing::Entry> entries = twoSlides("");
  entries[2].data = "<p:presentation xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\"/>";
  Presentation p = Presentation::fromBytes(testing::zipBytes(entries));
  EXPECT_EQ(p.slideCount(), 0);
  EXPECT_EQ(errorOf([&] { p.range(); }).number(), kOutOfRangeNumber);
}

}  // namespace
}  // namespace bq::office::ppt
