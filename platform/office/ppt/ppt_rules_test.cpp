#include "platform/office/ppt/ppt_rules.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/office/opc/detail/xml_tree_testing.h"

namespace bq::office::ppt {
namespace {

// `xml`, one element written with the prefixes p, p14, p15 and a, parsed as
// the package layer parses a part.
struct Element {
  XmlParse parse;
  pugi::xml_node node() const { return parse.tree->document.document_element(); }
};

Element element(const std::string& xml) {
  static const std::string kNs =
      " xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\""
      " xmlns:p14=\"http://schemas.microsoft.com/office/powerpoint/2010/main\""
      " xmlns:p15=\"http://schemas.microsoft.com/office/powerpoint/2012/main\""
      " xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\"";
  std::string withNs = xml;
  withNs.insert(withNs.find_first_of(" />"), kNs);
  Element e{testing::parseWithBudget(withNs)};
  EXPECT_TRUE(e.parse.tree) << e.parse.error;
  return e;
}

TEST(PptRulesTest, SlideLayoutsByType) {
  const std::pair<const char*, int32_t> cases[] = {
      {"title", 1},   {"tx", 2},       {"obj", 16},     {"twoObj", 29}, {"titleOnly", 11},
      {"blank", 12},  {"objOnly", 15}, {"secHead", 33}, {"picTx", 36},  {"cust", 32},
      {"unknown", 32}, {"", 32},
  };
  for (const auto& [type, code] : cases) EXPECT_EQ(slideLayoutOfType(type), code) << type;
}

TEST(PptRulesTest, TransitionEffectsByElementAndDirection) {
  const std::pair<const char*, int32_t> cases[] = {
      {"<p:blinds/>", 769},  // horizontal by default
      {"<p:blinds dir=\"vert\"/>", 770},
      {"<p:checker dir=\"vert\"/>", 1026},
      {"<p:cover/>", 1281},
      {"<p:cover dir=\"ru\"/>", 1286},
      {"<p:pull dir=\"rd\"/>", 2056},
      {"<p:push dir=\"u\"/>", 3855},
      {"<p:push/>", 3853},
      {"<p:wipe dir=\"d\"/>", 2820},
      {"<p:split/>", 3585},
      {"<p:split orient=\"vert\" dir=\"in\"/>", 3588},
      {"<p:strips/>", 2565},
      {"<p:strips dir=\"rd\"/>", 2568},
      {"<p:wheel/>", 3860},
      {"<p:wheel spokes=\"1\"/>", 3857},
      {"<p:wheel spokes=\"3\"/>", 3859},
      {"<p:wheel spokes=\"6\"/>", 3860},  // no code of its own
      {"<p:wheel spokes=\"12\"/>", 3861},
      {"<p:fade/>", 3849},                // smoothly
      {"<p:fade thruBlk=\"1\"/>", 1793},  // through black
      {"<p:cut/>", 257},
      {"<p:cut thruBlk=\"true\"/>", 258},
      {"<p:random/>", 513},
      {"<p:randomBar dir=\"vert\"/>", 2306},
      {"<p:zoom dir=\"in\"/>", 3345},
      {"<p:newsflash/>", 3850},
      {"<p14:vortex dir=\"r\"/>", 3865},
      {"<p14:switch/>", 3903},
      {"<p14:ripple dir=\"ld\"/>", 3870},
      {"<p14:prism/>", 3914},  // cube
      {"<p14:prism isInverted=\"1\" dir=\"d\"/>", 3925},  // box
      {"<p14:prism isContent=\"1\" dir=\"r\"/>", 3920},   // rotate
      {"<p14:prism isContent=\"1\" isInverted=\"1\"/>", 3926},  // orbit
      {"<p14:flythrough dir=\"out\" hasBounce=\"1\"/>", 3893},
      {"<p14:glitter pattern=\"hexagon\" dir=\"u\"/>", 3877},
      {"<p14:shred pattern=\"rectangle\" dir=\"out\"/>", 3913},
      {"<p14:reveal thruBlk=\"1\" dir=\"r\"/>", 3897},
      {"<p14:doors/>", 3884},
      {"<p14:flash/>", 3909},
      // Not transitions of a version we read, or not effects at all.
      {"<p15:prstTrans prst=\"curtains\"/>", 0},
      {"<p:sndAc/>", 0},
      {"<a:blinds/>", 0},
  };
  for (const auto& [xml, code] : cases) {
    Element e = element(xml);
    EXPECT_EQ(transitionEntryEffect(e.node()), code) << xml;
  }
  EXPECT_EQ(transitionEntryEffect(pugi::xml_node()), 0);
  EXPECT_EQ(transitionSpeed(""), 3);
  EXPECT_EQ(transitionSpeed("med"), 2);
  EXPECT_EQ(transitionSpeed("slow"), 1);
}

TEST(PptRulesTest, AutoShapeTypesOfPresets) {
  const std::pair<const char*, int32_t> cases[] = {
      {"rect", 1},          {"roundRect", 5},
      {"ellipse", 9},       {"pentagon", 12},
      {"homePlate", 51},    {"ribbon2", 97},
      {"actionButtonBlank", 125}, {"actionButtonForwardNext", 130},
      {"actionButtonMovie", 136}, {"round2DiagRect", 153},
      {"snip2DiagRect", 157},     {"lineInv", 183},
      {"line", 138},        {"notAShape", 138},
  };
  for (const auto& [prst, code] : cases) EXPECT_EQ(autoShapeTypeOfPreset(prst), code) << prst;
  for (const char* line : {"line", "straightConnector1", "bentConnector3", "curvedConnector5"})
    EXPECT_TRUE(isLinePreset(line)) << line;
  for (const char* shape : {"rect", "lineInv", "leftRightArrow"}) EXPECT_FALSE(isLinePreset(shape)) << shape;
}

TEST(PptRulesTest, ActionsOfHyperlinks) {
  struct Case {
    const char* action;
    const char* relId;
    int32_t code;
  } cases[] = {
      {"", "", 0},
      {"", "rId2", 7},
      {"ppaction://hlinkshowjump?jump=nextslide", "", 1},
      {"ppaction://hlinkshowjump?jump=previousslide", "", 2},
      {"PPACTION://HLINKSHOWJUMP?JUMP=FIRSTSLIDE", "", 3},
      {"ppaction://hlinkshowjump?jump=lastslide", "", 4},
      {"ppaction://hlinkshowjump?jump=lastslideviewed", "", 5},
      {"ppaction://hlinkshowjump?jump=endshow", "", 6},
      {"ppaction://hlinkshowjump?jump=sideways", "", 0},
      {"ppaction://hlinksldjump", "rId3", 7},
      {"ppaction://hlinkpres?slideindex=2&slidetitle=Intro", "rId3", 7},
      {"ppaction://hlinkfile", "rId3", 7},
      {"ppaction://macro?name=Run", "", 8},
      {"ppaction://program", "rId3", 9},
      {"ppaction://customshow?id=0&return=true", "", 10},
      {"ppaction://ole?verb=0", "", 11},
      {"ppaction://media", "", 12},
      {"ppaction://noaction", "", 0},
      {"http://www.example.com/", "rId2", 0},
  };
  for (const Case& c : cases) EXPECT_EQ(actionOfHyperlink(c.action, c.relId), c.code) << c.action;
}

TEST(PptRulesTest, SubAddressOfASlide) {
  EXPECT_EQ(slideSubAddress(257, 2, "第二页"), "257,2,第二页");
  EXPECT_EQ(slideSubAddress(300, 3, ""), "300,3,幻灯片 3");
}

TEST(PptRulesTest, EntranceEffectsOfPresets) {
  struct Case {
    int32_t preset, subtype, code;
  } cases[] = {
      {1, 0, 3844},     // Appear
      {2, 8, 3329},     // Fly In from left
      {2, 4, 3332},     // from bottom
      {2, 0, 3332},     // no direction: from bottom
      {2, 3, 3334},     // from top right
      {3, 5, 770},      // Blinds vertical
      {9, 0, 1537},     // Dissolve
      {10, 0, 1793},    // Fade
      {16, 21, 3588},   // Split vertical in
      {16, 42, 3585},   // Split horizontal out
      {17, 8, 3354},    // Stretch from left: the old "Stretch Right"
      {22, 4, 2818},    // Wipe from bottom: the old "Wipe Up"
      {22, 8, 2819},    // Wipe from left: the old "Wipe Right"
      {6, 32, 3845},    // Circle out
      {6, 16, -2},      // Circle in has no old code
      {25, 0, -2},      // Boomerang
      {24, 0, 513},     // Random Effects
  };
  for (const Case& c : cases)
    EXPECT_EQ(animationEntryEffect(c.preset, c.subtype), c.code) << c.preset << "/" << c.subtype;
}

TEST(PptRulesTest, TextBuildsAndUnits) {
  EXPECT_EQ(textLevelEffectOfBuild("p", 1), 1);
  EXPECT_EQ(textLevelEffectOfBuild("p", 3), 3);
  EXPECT_EQ(textLevelEffectOfBuild("p", 9), 5);
  EXPECT_EQ(textLevelEffectOfBuild("whole", 1), 16);
  EXPECT_EQ(textLevelEffectOfBuild("allAtOnce", 1), 16);
  EXPECT_EQ(textLevelEffectOfBuild("", 1), 16);
  EXPECT_EQ(textLevelEffectOfBuild("cust", 1), -2);
  EXPECT_EQ(textUnitEffectOfIterate(""), 0);
  EXPECT_EQ(textUnitEffectOfIterate("el"), 0);
  EXPECT_EQ(textUnitEffectOfIterate("wd"), 1);
  EXPECT_EQ(textUnitEffectOfIterate("lt"), 2);
}

TEST(PptRulesTest, FillsMediaAndUnderlines) {
  const std::pair<const char*, std::optional<int32_t>> fills[] = {
      {"<a:solidFill/>", 1},
      {"<a:gradFill/>", 3},
      {"<a:pattFill/>", 2},
      {"<a:blipFill><a:tile/></a:blipFill>", 4},
      {"<a:blipFill><a:stretch/></a:blipFill>", 6},
      {"<a:noFill/>", std::nullopt},
      {"<a:grpFill/>", std::nullopt},
  };
  for (const auto& [xml, type] : fills) EXPECT_EQ(fillTypeOf(element(xml).node()), type) << xml;

  struct Media {
    const char* xml;
    const char* contentType;
    std::optional<int32_t> mediaType, soundFormat;
  } media[] = {
      {"<a:wavAudioFile/>", "", 2, 1},
      {"<a:audioFile/>", "audio/x-wav", 2, 1},
      {"<a:audioFile/>", "audio/midi", 2, 2},
      {"<a:audioFile/>", "audio/mpeg", 2, 0},
      {"<a:audioCd/>", "", 2, 3},
      {"<a:videoFile/>", "video/mp4", 3, std::nullopt},
      {"<a:quickTimeFile/>", "", 3, std::nullopt},
      {"<p:ph/>", "", std::nullopt, std::nullopt},
  };
  for (const Media& m : media) {
    Element e = element(m.xml);
    EXPECT_EQ(mediaTypeOf(e.node()), m.mediaType) << m.xml;
    EXPECT_EQ(soundFormatOf(e.node(), m.contentType), m.soundFormat) << m.xml << " " << m.contentType;
  }

  EXPECT_FALSE(underlined(""));
  EXPECT_FALSE(underlined("none"));
  EXPECT_TRUE(underlined("sng"));
  EXPECT_TRUE(underlined("wavyDbl"));
}

TEST(PptRulesTest, CombinedValuesAreMixedWhereTheyDiffer) {
  Combined none;
  EXPECT_EQ(none.value(3), 3);
  Combined same;
  same.add(-1);
  same.add(-1);
  EXPECT_EQ(same.value(0), -1);
  Combined differ;
  differ.add(1);
  differ.add(2);
  differ.add(1);
  EXPECT_EQ(differ.value(0), -2);
  EXPECT_EQ(rgbValue(0xFF, 0, 0), 255);
  EXPECT_EQ(rgbValue(0, 0, 0xFF), 0xFF0000);
}

}  // namespace
}  // namespace bq::office::ppt
