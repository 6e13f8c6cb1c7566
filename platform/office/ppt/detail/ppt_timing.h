// A slide's timing tree (p:timing) read as the AnimationSettings of its
// shapes: what PowerPoint reports through the animation object of its
// earlier versions for the effects of the main sequence.
//
// A shape is animated when the main sequence has an entrance effect
// (presetClass "entr") that targets it, the whole shape or some of its
// paragraphs; the first such effect decides EntryEffect (ppt_rules.h's
// animationEntryEffect) and TextUnitEffect (its p:iterate). TextLevelEffect
// and AnimateTextInReverse come from the shape's p:bldP (a shape with text
// and no bldP is built as one object; a shape without text has no text
// level). AfterEffect: an after-effect behaviour inside that entrance effect
// that hides the shape is ppAfterEffectHide, one that changes its colour
// ppAfterEffectDim; an exit effect marked as an after effect elsewhere in
// the sequence is ppAfterEffectHideOnClick. Emphasis and exit effects alone,
// and the interactive sequences of triggers, leave a shape unanimated.
//
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <map>
#include <pugixml.hpp>
#include <set>

#include "platform/office/opc/detail/xml_nodes.h"
#include "platform/office/ppt/ppt_values.h"

namespace bq::office::ppt {

struct TimingReading {
  // By shape id (cNvPr@id): the settings of every shape an entrance effect
  // targets, with TextLevelEffect and AnimateTextInReverse not yet set.
  std::map<int32_t, AnimationSettings> animated;
  // By shape id: the p:bldP of the shape, when there is one.
  std::map<int32_t, pugi::xml_node> builds;
};

// Reads the p:timing of slide root `sld`.
TimingReading readTiming(pugi::xml_node sld);

// The AnimationSettings of shape `id` with text or without (`hasText`: the
// shape's text frame holds characters).
AnimationSettings animationOf(const TimingReading& timing, int32_t id, bool hasText);

}  // namespace bq::office::ppt
