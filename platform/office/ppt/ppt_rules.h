// The rules by which the PowerPoint object model turns presentation content
// into the values PowerPoint reports through automation: the enumeration
// codes of slide layouts, transitions, AutoShapes, action settings,
// animations, fills and media. Each rule lives in one function or table
// here, with the PowerPoint behaviour it reproduces beside it, so that the
// object model (ppt.h) only looks things up.
//
// Thread safety: all functions are pure; the tables are constant.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/office/opc/xml_handles.h"

namespace bq::office::ppt {

// The source of every error the PowerPoint object model raises.
inline constexpr std::string_view kErrorSource = "PowerPoint";
// What PowerPoint's Presentations.Open raises for a file it cannot open
// (E_FAIL, "PowerPoint could not open the file.").
inline constexpr int32_t kCannotOpenNumber = -2147467259;
// What PowerPoint raises for a member the object does not have (the text
// frame of a picture, the media type of a rectangle): E_INVALIDARG, "The
// specified value is out of range."
inline constexpr int32_t kOutOfRangeNumber = -2147024809;
inline constexpr std::string_view kOutOfRangeText = "The specified value is out of range.";

// Enumeration values of PowerPoint's and Office's object libraries.
namespace pp {
// MsoTriState.
inline constexpr int32_t kTrue = -1;
inline constexpr int32_t kFalse = 0;
inline constexpr int32_t kMixed = -2;  // also ppEffectMixed, ppLayoutMixed, msoShapeMixed ...
// PpEntryEffect (the few named in code; the rest are in the tables).
inline constexpr int32_t kEffectNone = 0;
// PpTransitionSpeed.
inline constexpr int32_t kSpeedSlow = 1;
inline constexpr int32_t kSpeedMedium = 2;
inline constexpr int32_t kSpeedFast = 3;
// PpSoundEffectType.
inline constexpr int32_t kSoundNone = 0;
inline constexpr int32_t kSoundStopPrevious = 1;
inline constexpr int32_t kSoundFile = 2;
// PpSlideLayout.
inline constexpr int32_t kLayoutCustom = 32;
// MsoAutoShapeType.
inline constexpr int32_t kShapeRectangle = 1;
inline constexpr int32_t kShapeNotPrimitive = 138;
// PpActionType.
inline constexpr int32_t kActionNone = 0;
inline constexpr int32_t kActionHyperlink = 7;
// PpTextLevelEffect.
inline constexpr int32_t kAnimateLevelNone = 0;
inline constexpr int32_t kAnimateByAllLevels = 16;
// PpTextUnitEffect.
inline constexpr int32_t kAnimateByParagraph = 0;
// PpAfterEffect.
inline constexpr int32_t kAfterEffectNothing = 0;
inline constexpr int32_t kAfterEffectHide = 1;
inline constexpr int32_t kAfterEffectDim = 2;
inline constexpr int32_t kAfterEffectHideOnClick = 3;
// MsoFillType.
inline constexpr int32_t kFillSolid = 1;
inline constexpr int32_t kFillPatterned = 2;
inline constexpr int32_t kFillGradient = 3;
inline constexpr int32_t kFillTextured = 4;
inline constexpr int32_t kFillBackground = 5;
inline constexpr int32_t kFillPicture = 6;
// PpMediaType.
inline constexpr int32_t kMediaOther = 1;
inline constexpr int32_t kMediaSound = 2;
inline constexpr int32_t kMediaMovie = 3;
// PpSoundFormatType.
inline constexpr int32_t kSoundFormatNone = 0;
inline constexpr int32_t kSoundFormatWav = 1;
inline constexpr int32_t kSoundFormatMidi = 2;
inline constexpr int32_t kSoundFormatCdAudio = 3;
}  // namespace pp

// MsoTriState of a Boolean.
inline constexpr int32_t triState(bool b) { return b ? pp::kTrue : pp::kFalse; }

// A property over several objects (the slides of a range, the runs of a
// text range, the shapes of a group): the common value, or PowerPoint's
// mixed value -2 when they differ. Fold values in with add(); the result of
// none is `empty`.
class Combined {
 public:
  void add(int32_t value) {
    if (!any_) {
      value_ = value;
      any_ = true;
    } else if (value_ != value) {
      value_ = pp::kMixed;
    }
  }
  int32_t value(int32_t empty) const { return any_ ? value_ : empty; }

 private:
  bool any_ = false;
  int32_t value_ = 0;
};

// Slide.Layout (PpSlideLayout) of a slide whose layout is of ST_SlideLayoutType
// `type` (sldLayout@type; absent means "cust").
int32_t slideLayoutOfType(std::string_view type);

// SlideShowTransition.EntryEffect (PpEntryEffect) of the effect element
// `effect`, a child of p:transition (p:blinds, p:cover, p14:vortex ...);
// ppEffectNone for an empty handle.
int32_t transitionEntryEffect(pugi::xml_node effect);
// SlideShowTransition.Speed of p:transition@spd (absent: fast).
int32_t transitionSpeed(std::string_view spd);

// Shape.AutoShapeType (MsoAutoShapeType) of preset geometry `prst`
// (a:prstGeom@prst): msoShapeNotPrimitive for a name PowerPoint has no
// AutoShape of, and for lines and connectors (see isLinePreset).
int32_t autoShapeTypeOfPreset(std::string_view prst);
// True for the presets PowerPoint draws as lines and connectors
// ("line", "straightConnector1", "bentConnector3" ...): shapes without a
// text frame.
bool isLinePreset(std::string_view prst);

// ActionSetting.Action (PpActionType) of an a:hlinkClick/a:hlinkHover whose
// action attribute is `action` and whose r:id is `relId` (empty when
// absent): see ppt_rules.cpp for the table of ppaction:// verbs.
int32_t actionOfHyperlink(std::string_view action, std::string_view relId);

// Hyperlink.SubAddress of a jump to a slide of the same presentation, as
// PowerPoint writes it: the slide's id, its index and its title, joined by
// commas ("257,2,Agenda"). A slide without a title is named "幻灯片 N", as a
// Chinese PowerPoint names it.
std::string slideSubAddress(uint32_t slideId, int32_t index, std::string_view title);

// AnimationSettings.EntryEffect (PpEntryEffect) of an entrance effect of
// preset `presetId` and subtype `subtype` (p:cTn@presetID, presetSubtype);
// ppEffectMixed for the entrance effects of later versions that have no
// AnimationSettings equivalent.
int32_t animationEntryEffect(int32_t presetId, int32_t subtype);
// AnimationSettings.TextLevelEffect of a shape built as p:bldP@build says
// (absent: "whole") with bldP@bldLvl `level` (absent: 1).
int32_t textLevelEffectOfBuild(std::string_view build, int32_t level);
// AnimationSettings.TextUnitEffect of p:iterate@type (absent: by paragraph).
int32_t textUnitEffectOfIterate(std::string_view type);

// Font.Underline of a:rPr@u (ST_TextUnderlineType; "none" or absent is no
// underline, every line style is underlined).
bool underlined(std::string_view u);

// FillFormat.Type of a DrawingML fill element (a:solidFill, a:gradFill,
// a:pattFill, a:blipFill); nothing for a:noFill, a:grpFill and other
// elements.
std::optional<int32_t> fillTypeOf(pugi::xml_node fill);

// Shape.MediaType and SoundFormat.Type of the media element `media` of a
// picture's p:nvPr (a:audioFile, a:wavAudioFile, a:audioCd, a:videoFile,
// a:quickTimeFile, p14:media); `contentType` is the content type of the
// linked or embedded media part, when known.
std::optional<int32_t> mediaTypeOf(pugi::xml_node media);
std::optional<int32_t> soundFormatOf(pugi::xml_node media, std::string_view contentType);

// ColorFormat.RGB of a colour: red + 256 * green + 65536 * blue.
inline constexpr int32_t rgbValue(uint8_t r, uint8_t g, uint8_t b) {
  return int32_t{r} | int32_t{g} << 8 | int32_t{b} << 16;
}

}  // namespace bq::office::ppt
