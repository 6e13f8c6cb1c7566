// The values the PowerPoint object model reports: transitions, hyperlinks,
// fonts and text ranges, action and animation settings, fills (ppt.h hands
// them out; the design, text and timing readers make them).
//
// Thread safety: plain values.
#pragma once

#include <cstdint>
#include <string>

#include "platform/office/ppt/ppt_rules.h"

namespace bq::office::ppt {

// SlideShowTransition of a slide or of a slide range.
struct SlideShowTransition {
  int32_t entryEffect = pp::kEffectNone;  // PpEntryEffect
  int32_t speed = pp::kSpeedFast;         // PpTransitionSpeed
  int32_t advanceOnClick = pp::kTrue;
  int32_t advanceOnTime = pp::kFalse;
  int32_t soundEffectType = pp::kSoundNone;  // SoundEffect.Type
  bool operator==(const SlideShowTransition&) const = default;
};

// Hyperlink of a slide's Hyperlinks collection.
struct Hyperlink {
  std::string address;
  std::string subAddress;
  bool operator==(const Hyperlink&) const = default;
};

// TextRange.Font of a whole text frame.
struct Font {
  std::string nameAscii;
  std::string nameFarEast;
  float size = 18;
  int32_t bold = pp::kFalse;
  int32_t italic = pp::kFalse;
  int32_t underline = pp::kFalse;
  int32_t shadow = pp::kFalse;
  int32_t colorRgb = 0;  // Font.Color.RGB
  bool operator==(const Font&) const = default;
};

// TextFrame.TextRange: paragraphs separated by CR, line breaks as VT.
struct TextRange {
  std::string text;
  Font font;
};

// ActionSettings(1) (mouse click) or (2) (mouse over).
struct ActionSetting {
  int32_t action = pp::kActionNone;  // PpActionType
  int32_t soundEffectType = pp::kSoundNone;
  std::string soundEffectName;  // SoundEffect.Name; "" without a sound
  int32_t animateAction = pp::kFalse;
};

struct AnimationSettings {
  int32_t textLevelEffect = pp::kAnimateLevelNone;
  int32_t animateTextInReverse = pp::kFalse;
  int32_t entryEffect = pp::kEffectNone;
  int32_t textUnitEffect = pp::kAnimateByParagraph;
  int32_t afterEffect = pp::kAfterEffectNothing;
  bool operator==(const AnimationSettings&) const = default;
};

// Shape.Fill.
struct FillFormat {
  int32_t visible = pp::kFalse;
  int32_t type = pp::kFillSolid;   // MsoFillType
  int32_t foreColorRgb = 0xFFFFFF;  // ForeColor.RGB
  bool operator==(const FillFormat&) const = default;
};

}  // namespace bq::office::ppt
