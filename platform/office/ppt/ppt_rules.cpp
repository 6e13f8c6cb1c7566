#include "platform/office/ppt/ppt_rules.h"

#include <algorithm>
#include <array>
#include <utility>

#include "platform/office/opc/detail/xml_nodes.h"
#include "platform/office/shared/detail/text_util.h"

namespace bq::office::ppt {

namespace {

template <size_t N>
std::optional<int32_t> lookup(const std::pair<std::string_view, int32_t> (&table)[N],
                              std::string_view key) {
  for (const auto& [name, value] : table)
    if (name == key) return value;
  return std::nullopt;
}

std::string_view attr(pugi::xml_node node, const char* name, std::string_view absent) {
  pugi::xml_attribute a = node.attribute(name);
  return a ? std::string_view(a.value()) : absent;
}

bool boolAttr(pugi::xml_node node, const char* name) {
  std::string_view v = node.attribute(name).value();
  return v == "1" || v == "true";
}

// The index of ST_TransitionSideDirectionType `dir` (l u r d), or of
// ST_TransitionEightDirectionType (l u r d lu ru ld rd); an unknown value
// counts as the default `fallback`.
size_t directionIndex(std::string_view dir, size_t fallback) {
  static constexpr std::string_view kDirections[] = {"l", "u", "r", "d", "lu", "ru", "ld", "rd"};
  for (size_t i = 0; i < std::size(kDirections); ++i)
    if (kDirections[i] == dir) return i;
  return fallback;
}

// The code of a side direction (l u r d; default `def`) from `codes` in that order.
int32_t bySide(pugi::xml_node e, std::array<int32_t, 4> codes, std::string_view def = "l") {
  size_t i = directionIndex(attr(e, "dir", def), 0);
  return codes[i < 4 ? i : 0];
}

// The code of a left/right direction (default `def`).
int32_t byLeftRight(pugi::xml_node e, int32_t left, int32_t right, std::string_view def) {
  return attr(e, "dir", def) == "r" ? right : left;
}

// The code of an orientation (ST_Direction: horz or vert; default `def`).
int32_t byOrientation(pugi::xml_node e, const char* name, int32_t horz, int32_t vert,
                      std::string_view def) {
  return attr(e, name, def) == "vert" ? vert : horz;
}

}  // namespace

// ST_SlideLayoutType to PpSlideLayout. PowerPoint reports the layout a slide
// uses by the type its slide layout declares: "obj" (Title and Content) is
// ppLayoutObject, "twoObj" (Two Content) ppLayoutTwoObjects, and the types
// that came with PowerPoint 2007 have codes of their own (33 to 36). A layout
// without a type, or with one this table does not know, is a custom layout.
int32_t slideLayoutOfType(std::string_view type) {
  static constexpr std::pair<std::string_view, int32_t> kTable[] = {
      {"title", 1},
      {"tx", 2},
      {"twoColTx", 3},
      {"tbl", 4},
      {"txAndChart", 5},
      {"chartAndTx", 6},
      {"dgm", 7},
      {"chart", 8},
      {"txAndClipArt", 9},
      {"clipArtAndTx", 10},
      {"titleOnly", 11},
      {"blank", 12},
      {"txAndObj", 13},
      {"objAndTx", 14},
      {"objOnly", 15},
      {"obj", 16},
      {"txAndMedia", 17},
      {"mediaAndTx", 18},
      {"objOverTx", 19},
      {"txOverObj", 20},
      {"txAndTwoObj", 21},
      {"twoObjAndTx", 22},
      {"twoObjOverTx", 23},
      {"fourObj", 24},
      {"vertTx", 25},
      {"clipArtAndVertTx", 26},
      {"vertTitleAndTx", 27},
      {"vertTitleAndTxOverChart", 28},
      {"twoObj", 29},
      {"objAndTwoObj", 30},
      {"twoObjAndObj", 31},
      {"cust", 32},
      {"secHead", 33},
      {"twoTxTwoObj", 34},
      {"objTx", 35},
      {"picTx", 36},
  };
  return lookup(kTable, type).value_or(pp::kLayoutCustom);
}

// p:transition's effect element to PpEntryEffect. PowerPoint names each
// transition of its gallery after the element and its direction attributes
// (p:cover dir="ru" is ppEffectCoverRightUp, p:split orient="vert" dir="in"
// is ppEffectSplitVerticalIn); the attributes default as the schema says
// (PresentationML for p:, PowerPoint 2010's extension schema for p14:).
// Fade through black is the old ppEffectFade, a plain fade PowerPoint 2002's
// "Fade Smoothly"; pull is "Uncover"; the PowerPoint 2010 transitions have
// the codes from 3862 on (p14:prism is Cube, Box with isInverted, Rotate
// with isContent, Orbit with both). A wheel of a spoke count PowerPoint has
// no code for reads as the nearest count below it.
int32_t transitionEntryEffect(pugi::xml_node e) {
  if (!e) return pp::kEffectNone;
  const Ns ns = kindOf(e);
  const std::string_view name = localName(e);
  if (ns == Ns::PresentationML) {
    if (name == "blinds") return byOrientation(e, "dir", 769, 770, "horz");
    if (name == "checker") return byOrientation(e, "dir", 1025, 1026, "horz");
    if (name == "circle") return 3845;
    if (name == "comb") return byOrientation(e, "dir", 3847, 3848, "horz");
    if (name == "cover") return 1281 + static_cast<int32_t>(directionIndex(attr(e, "dir", "l"), 0));
    if (name == "cut") return boolAttr(e, "thruBlk") ? 258 : 257;
    if (name == "diamond") return 3846;
    if (name == "dissolve") return 1537;
    if (name == "fade") return boolAttr(e, "thruBlk") ? 1793 : 3849;
    if (name == "newsflash") return 3850;
    if (name == "plus") return 3851;
    if (name == "pull") return 2049 + static_cast<int32_t>(directionIndex(attr(e, "dir", "l"), 0));
    if (name == "push") return bySide(e, {3853, 3855, 3854, 3852});
    if (name == "random") return 513;
    if (name == "randomBar") return byOrientation(e, "dir", 2305, 2306, "horz");
    if (name == "split") {
      const bool vert = attr(e, "orient", "horz") == "vert";
      const bool in = attr(e, "dir", "out") == "in";
      return vert ? (in ? 3588 : 3587) : (in ? 3586 : 3585);
    }
    if (name == "strips") {
      // Only the four corner directions exist in the file format; they are
      // PowerPoint's "Strips Left-Up" ... "Strips Right-Down".
      size_t i = directionIndex(attr(e, "dir", "lu"), 4);
      return 2561 + static_cast<int32_t>(i < 4 ? 4 : i);
    }
    if (name == "wedge") return 3856;
    if (name == "wheel") {
      const int32_t spokes = e.attribute("spokes").as_int(4);
      if (spokes >= 8) return 3861;
      if (spokes >= 4) return 3860;
      if (spokes <= 1) return 3857;
      return spokes == 2 ? 3858 : 3859;
    }
    if (name == "wipe") return bySide(e, {2817, 2818, 2819, 2820});
    if (name == "zoom") return attr(e, "dir", "out") == "in" ? 3345 : 3347;
    return pp::kEffectNone;
  }
  if (ns == Ns::PowerPoint2010) {
    if (name == "vortex") return bySide(e, {3863, 3864, 3865, 3866});
    if (name == "switch") return byLeftRight(e, 3901, 3903, "r");
    if (name == "flip") return byLeftRight(e, 3905, 3907, "r");
    if (name == "ripple") {
      static constexpr std::pair<std::string_view, int32_t> kRipple[] = {
          {"center", 3867}, {"ru", 3868}, {"lu", 3869}, {"ld", 3870}, {"rd", 3871}};
      return lookup(kRipple, attr(e, "dir", "center")).value_or(3867);
    }
    if (name == "honeycomb") return 3898;
    if (name == "prism") {
      const bool content = boolAttr(e, "isContent");
      const bool inverted = boolAttr(e, "isInverted");
      if (content) return inverted ? bySide(e, {3926, 3927, 3928, 3929}) : bySide(e, {3918, 3919, 3920, 3921});
      return inverted ? bySide(e, {3922, 3923, 3924, 3925}) : bySide(e, {3914, 3915, 3916, 3917});
    }
    if (name == "doors") return byOrientation(e, "dir", 3885, 3884, "vert");
    if (name == "window") return byOrientation(e, "dir", 3887, 3886, "vert");
    if (name == "ferris") return byLeftRight(e, 3899, 3900, "l");
    if (name == "gallery") return byLeftRight(e, 3880, 3881, "l");
    if (name == "conveyor") return byLeftRight(e, 3882, 3883, "l");
    if (name == "pan") return bySide(e, {3930, 3931, 3932, 3933}, "u");
    if (name == "glitter") {
      return attr(e, "pattern", "diamond") == "hexagon" ? bySide(e, {3876, 3877, 3878, 3879})
                                                         : bySide(e, {3872, 3873, 3874, 3875});
    }
    if (name == "warp") return attr(e, "dir", "in") == "out" ? 3889 : 3888;
    if (name == "flythrough") {
      const bool out = attr(e, "dir", "in") == "out";
      const bool bounce = boolAttr(e, "hasBounce");
      return out ? (bounce ? 3893 : 3891) : (bounce ? 3892 : 3890);
    }
    if (name == "flash") return 3909;
    if (name == "shred") {
      const bool rectangle = attr(e, "pattern", "strip") == "rectangle";
      const bool out = attr(e, "dir", "in") == "out";
      return rectangle ? (out ? 3913 : 3912) : (out ? 3911 : 3910);
    }
    if (name == "reveal") {
      const bool black = boolAttr(e, "thruBlk");
      return byLeftRight(e, black ? 3896 : 3894, black ? 3897 : 3895, "l");
    }
    if (name == "wheelReverse") return 3862;
  }
  return pp::kEffectNone;
}

// p:transition@spd to PpTransitionSpeed; the schema's default is fast.
int32_t transitionSpeed(std::string_view spd) {
  if (spd == "slow") return pp::kSpeedSlow;
  if (spd == "med") return pp::kSpeedMedium;
  return pp::kSpeedFast;
}

// ST_ShapeType to MsoAutoShapeType: the AutoShape PowerPoint makes of each
// preset geometry (homePlate is the "Pentagon" arrow, pentagon the regular
// pentagon, ribbon2 the up ribbon, flowChartInputOutput the data symbol ...).
// Presets without an AutoShape of their own (the lines and connectors,
// borderCallout4 ...) report msoShapeNotPrimitive.
int32_t autoShapeTypeOfPreset(std::string_view prst) {
  static constexpr std::pair<std::string_view, int32_t> kTable[] = {
      {"rect", 1},
      {"parallelogram", 2},
      {"trapezoid", 3},
      {"diamond", 4},
      {"roundRect", 5},
      {"octagon", 6},
      {"triangle", 7},
      {"rtTriangle", 8},
      {"ellipse", 9},
      {"hexagon", 10},
      {"plus", 11},
      {"pentagon", 12},
      {"can", 13},
      {"cube", 14},
      {"bevel", 15},
      {"foldedCorner", 16},
      {"smileyFace", 17},
      {"donut", 18},
      {"noSmoking", 19},
      {"blockArc", 20},
      {"heart", 21},
      {"lightningBolt", 22},
      {"sun", 23},
      {"moon", 24},
      {"arc", 25},
      {"bracketPair", 26},
      {"bracePair", 27},
      {"plaque", 28},
      {"leftBracket", 29},
      {"rightBracket", 30},
      {"leftBrace", 31},
      {"rightBrace", 32},
      {"rightArrow", 33},
      {"leftArrow", 34},
      {"upArrow", 35},
      {"downArrow", 36},
      {"leftRightArrow", 37},
      {"upDownArrow", 38},
      {"quadArrow", 39},
      {"leftRightUpArrow", 40},
      {"bentArrow", 41},
      {"uturnArrow", 42},
      {"leftUpArrow", 43},
      {"bentUpArrow", 44},
      {"curvedRightArrow", 45},
      {"curvedLeftArrow", 46},
      {"curvedUpArrow", 47},
      {"curvedDownArrow", 48},
      {"stripedRightArrow", 49},
      {"notchedRightArrow", 50},
      {"homePlate", 51},
      {"chevron", 52},
      {"rightArrowCallout", 53},
      {"leftArrowCallout", 54},
      {"upArrowCallout", 55},
      {"downArrowCallout", 56},
      {"leftRightArrowCallout", 57},
      {"upDownArrowCallout", 58},
      {"quadArrowCallout", 59},
      {"circularArrow", 60},
      {"flowChartProcess", 61},
      {"flowChartAlternateProcess", 62},
      {"flowChartDecision", 63},
      {"flowChartInputOutput", 64},
      {"flowChartPredefinedProcess", 65},
      {"flowChartInternalStorage", 66},
      {"flowChartDocument", 67},
      {"flowChartMultidocument", 68},
      {"flowChartTerminator", 69},
      {"flowChartPreparation", 70},
      {"flowChartManualInput", 71},
      {"flowChartManualOperation", 72},
      {"flowChartConnector", 73},
      {"flowChartOffpageConnector", 74},
      {"flowChartPunchedCard", 75},
      {"flowChartPunchedTape", 76},
      {"flowChartSummingJunction", 77},
      {"flowChartOr", 78},
      {"flowChartCollate", 79},
      {"flowChartSort", 80},
      {"flowChartExtract", 81},
      {"flowChartMerge", 82},
      {"flowChartOnlineStorage", 83},
      {"flowChartDelay", 84},
      {"flowChartMagneticTape", 85},
      {"flowChartMagneticDisk", 86},
      {"flowChartMagneticDrum", 87},
      {"flowChartDisplay", 88},
      {"irregularSeal1", 89},
      {"irregularSeal2", 90},
      {"star4", 91},
      {"star5", 92},
      {"star8", 93},
      {"star16", 94},
      {"star24", 95},
      {"star32", 96},
      {"ribbon2", 97},
      {"ribbon", 98},
      {"ellipseRibbon2", 99},
      {"ellipseRibbon", 100},
      {"verticalScroll", 101},
      {"horizontalScroll", 102},
      {"wave", 103},
      {"doubleWave", 104},
      {"wedgeRectCallout", 105},
      {"wedgeRoundRectCallout", 106},
      {"wedgeEllipseCallout", 107},
      {"cloudCallout", 108},
      {"borderCallout1", 109},
      {"borderCallout2", 110},
      {"borderCallout3", 111},
      {"accentCallout1", 113},
      {"accentCallout2", 114},
      {"accentCallout3", 115},
      {"callout1", 117},
      {"callout2", 118},
      {"callout3", 119},
      {"accentBorderCallout1", 121},
      {"accentBorderCallout2", 122},
      {"accentBorderCallout3", 123},
      {"actionButtonBlank", 125},
      {"actionButtonHome", 126},
      {"actionButtonHelp", 127},
      {"actionButtonInformation", 128},
      {"actionButtonBackPrevious", 129},
      {"actionButtonForwardNext", 130},
      {"actionButtonBeginning", 131},
      {"actionButtonEnd", 132},
      {"actionButtonReturn", 133},
      {"actionButtonDocument", 134},
      {"actionButtonSound", 135},
      {"actionButtonMovie", 136},
      {"flowChartOfflineStorage", 139},
      {"leftRightRibbon", 140},
      {"diagStripe", 141},
      {"pie", 142},
      {"nonIsoscelesTrapezoid", 143},
      {"decagon", 144},
      {"heptagon", 145},
      {"dodecagon", 146},
      {"star6", 147},
      {"star7", 148},
      {"star10", 149},
      {"star12", 150},
      {"round1Rect", 151},
      {"round2SameRect", 152},
      {"round2DiagRect", 153},
      {"snipRoundRect", 154},
      {"snip1Rect", 155},
      {"snip2SameRect", 156},
      {"snip2DiagRect", 157},
      {"frame", 158},
      {"halfFrame", 159},
      {"teardrop", 160},
      {"chord", 161},
      {"corner", 162},
      {"mathPlus", 163},
      {"mathMinus", 164},
      {"mathMultiply", 165},
      {"mathDivide", 166},
      {"mathEqual", 167},
      {"mathNotEqual", 168},
      {"cornerTabs", 169},
      {"squareTabs", 170},
      {"plaqueTabs", 171},
      {"gear6", 172},
      {"gear9", 173},
      {"funnel", 174},
      {"pieWedge", 175},
      {"leftCircularArrow", 176},
      {"leftRightCircularArrow", 177},
      {"swooshArrow", 178},
      {"cloud", 179},
      {"chartX", 180},
      {"chartStar", 181},
      {"chartPlus", 182},
      {"lineInv", 183},
  };
  return lookup(kTable, prst).value_or(pp::kShapeNotPrimitive);
}

// The presets of straight, bent and curved lines: PowerPoint makes lines and
// connectors of them, which carry no text.
bool isLinePreset(std::string_view prst) {
  return prst == "line" || prst.starts_with("straightConnector") ||
         prst.starts_with("bentConnector") || prst.starts_with("curvedConnector");
}

// The ppaction:// verbs of a:hlinkClick@action to PpActionType, as
// PowerPoint writes them for each choice of its Action Settings dialog:
// "hlinkshowjump?jump=nextslide" and its siblings are the slide jumps 1 to 6;
// a jump to a given slide (hlinksldjump), to another presentation
// (hlinkpres) or a file (hlinkfile), and a plain r:id without a verb, are
// hyperlinks (7); then macro 8, program 9, customshow 10, ole 11, media 12.
// "noaction" and anything unknown is no action (a sound may still play).
int32_t actionOfHyperlink(std::string_view action, std::string_view relId) {
  static constexpr std::string_view kScheme = "ppaction://";
  if (action.empty()) return relId.empty() ? pp::kActionNone : pp::kActionHyperlink;
  if (!startsWithNoCase(action, kScheme)) return pp::kActionNone;
  const std::string verb = asciiLower(action.substr(kScheme.size()));
  static constexpr std::pair<std::string_view, int32_t> kJumps[] = {
      {"nextslide", 1}, {"previousslide", 2}, {"firstslide", 3},
      {"lastslide", 4}, {"lastslideviewed", 5}, {"endshow", 6},
  };
  static constexpr std::string_view kShowJump = "hlinkshowjump?jump=";
  if (verb.starts_with(kShowJump)) {
    std::string_view jump = std::string_view(verb).substr(kShowJump.size());
    jump = jump.substr(0, jump.find('&'));
    return lookup(kJumps, jump).value_or(pp::kActionNone);
  }
  static constexpr std::pair<std::string_view, int32_t> kVerbs[] = {
      {"hlinksldjump", pp::kActionHyperlink},
      {"hlinkpres", pp::kActionHyperlink},
      {"hlinkfile", pp::kActionHyperlink},
      {"macro", 8},
      {"program", 9},
      {"customshow", 10},
      {"ole", 11},
      {"media", 12},
  };
  const std::string_view head = std::string_view(verb).substr(0, verb.find('?'));
  return lookup(kVerbs, head).value_or(pp::kActionNone);
}

std::string slideSubAddress(uint32_t slideId, int32_t index, std::string_view title) {
  std::string out = std::to_string(slideId);
  out += ',';
  out += std::to_string(index);
  out += ',';
  if (title.empty()) {
    out += "幻灯片 ";
    out += std::to_string(index);
  } else {
    out += title;
  }
  return out;
}

// An entrance effect's preset (p:cTn@presetID with presetClass="entr") to
// the PpEntryEffect that AnimationSettings reports for it. The effects that
// PowerPoint 2000 had keep their codes; the subtype is the direction, as
// the bits top 1, right 2, bottom 4, left 8 (with 16 in, 32 out, 5 vertical,
// 10 horizontal). "Wipe from bottom" is the old "Wipe Up", "Stretch from
// left" the old "Stretch Right". Effects added since (Boomerang, Credits,
// Float, Grow & Turn ...) have no code: ppEffectMixed.
int32_t animationEntryEffect(int32_t presetId, int32_t subtype) {
  auto byDirection = [subtype](int32_t top, int32_t right, int32_t bottom, int32_t left,
                               int32_t fallback) {
    switch (subtype) {
      case 1:
        return top;
      case 2:
        return right;
      case 4:
        return bottom;
      case 8:
        return left;
      default:
        return fallback;
    }
  };
  switch (presetId) {
    case 1:
      return 3844;  // Appear
    case 2:         // Fly In
      switch (subtype) {
        case 1:
          return 3330;
        case 2:
          return 3331;
        case 3:
          return 3334;
        case 6:
          return 3336;
        case 8:
          return 3329;
        case 9:
          return 3333;
        case 12:
          return 3335;
        default:
          return 3332;  // from bottom, the default direction
      }
    case 3:
      return subtype == 5 ? 770 : 769;  // Blinds
    case 4:
      return subtype == 32 ? 3073 : 3074;  // Box
    case 5:
      return subtype == 5 ? 1026 : 1025;  // Checkerboard
    case 6:
      return subtype == 16 ? pp::kMixed : 3845;  // Circle: only "out" is old
    case 7:
      return byDirection(3342, 3343, 3344, 3341, 3344);  // Crawl In
    case 8:
      return subtype == 16 ? pp::kMixed : 3846;  // Diamond
    case 9:
      return 1537;  // Dissolve In
    case 10:
      return 1793;  // Fade
    case 11:
      return 3842;  // Flash Once (medium)
    case 12:
      return byDirection(3340, 3339, 3338, 3337, 3338);  // Peek In
    case 13:
      return subtype == 16 ? pp::kMixed : 3851;  // Plus
    case 14:
      return subtype == 5 ? 2306 : 2305;  // Random Bars
    case 15:
      return 3357;  // Spiral In
    case 16:        // Split
      switch (subtype) {
        case 26:
          return 3586;
        case 21:
          return 3588;
        case 37:
          return 3587;
        default:
          return 3585;
      }
    case 17:  // Stretch
      if (subtype == 10) return 3351;
      return byDirection(3355, 3352, 3353, 3354, 3351);
    case 18:  // Strips
      switch (subtype) {
        case 3:
          return 2566;
        case 6:
          return 2568;
        case 9:
          return 2565;
        default:
          return 2567;
      }
    case 19:
      return 3356;  // Swivel
    case 20:
      return 3856;  // Wedge
    case 21:        // Wheel
      switch (subtype) {
        case 1:
          return 3857;
        case 2:
          return 3858;
        case 3:
          return 3859;
        case 8:
          return 3861;
        default:
          return 3860;
      }
    case 22:
      return byDirection(2820, 2817, 2818, 2819, 2818);  // Wipe
    case 23:                                             // Zoom
      switch (subtype) {
        case 32:
          return 3347;
        case 528:
          return 3346;
        case 544:
          return 3348;
        case 272:
          return 3349;
        case 36:
          return 3350;
        default:
          return 3345;
      }
    case 24:
      return 513;  // Random Effects
    default:
      return pp::kMixed;
  }
}

// p:bldP@build to PpTextLevelEffect: a shape built as one object, or with
// all paragraphs at once, animates all levels together; by paragraph, down
// to its bldLvl (1 to 5; deeper levels build with the fifth); a custom build
// is mixed.
int32_t textLevelEffectOfBuild(std::string_view build, int32_t level) {
  if (build == "p") return std::clamp(level, 1, 5);
  if (build == "cust") return pp::kMixed;
  return pp::kAnimateByAllLevels;
}

// p:iterate@type to PpTextUnitEffect: by element (paragraph) 0, word 1,
// letter 2.
int32_t textUnitEffectOfIterate(std::string_view type) {
  if (type == "wd") return 1;
  if (type == "lt") return 2;
  return pp::kAnimateByParagraph;
}

bool underlined(std::string_view u) { return !u.empty() && u != "none"; }

// DrawingML fills to MsoFillType: a picture fill that tiles is a texture,
// one that stretches a picture.
std::optional<int32_t> fillTypeOf(pugi::xml_node fill) {
  if (kindOf(fill) != Ns::DrawingML) return std::nullopt;
  const std::string_view name = localName(fill);
  if (name == "solidFill") return pp::kFillSolid;
  if (name == "gradFill") return pp::kFillGradient;
  if (name == "pattFill") return pp::kFillPatterned;
  if (name == "blipFill") return fill.child("a:tile") ? pp::kFillTextured : pp::kFillPicture;
  return std::nullopt;
}

// The media elements of a picture to PpMediaType: sounds (audio files, WAV
// sounds, CD tracks) and movies (video and QuickTime files).
std::optional<int32_t> mediaTypeOf(pugi::xml_node media) {
  if (kindOf(media) != Ns::DrawingML) return std::nullopt;
  const std::string_view name = localName(media);
  if (name == "audioFile" || name == "wavAudioFile" || name == "audioCd") return pp::kMediaSound;
  if (name == "videoFile" || name == "quickTimeFile") return pp::kMediaMovie;
  return std::nullopt;
}

// A sound's SoundFormat.Type: WAV for a:wavAudioFile and WAVE audio, MIDI for
// MIDI audio, CD audio for a:audioCd; other sounds (MP3, WMA) have no format
// of the old sound object. A movie has no SoundFormat.
std::optional<int32_t> soundFormatOf(pugi::xml_node media, std::string_view contentType) {
  if (mediaTypeOf(media) != pp::kMediaSound) return std::nullopt;
  const std::string_view name = localName(media);
  if (name == "wavAudioFile") return pp::kSoundFormatWav;
  if (name == "audioCd") return pp::kSoundFormatCdAudio;
  const std::string type = asciiLower(contentType);
  if (type == "audio/wav" || type == "audio/x-wav" || type == "audio/wave") return pp::kSoundFormatWav;
  if (type == "audio/midi" || type == "audio/mid" || type == "audio/x-midi") return pp::kSoundFormatMidi;
  return pp::kSoundFormatNone;
}

}  // namespace bq::office::ppt
