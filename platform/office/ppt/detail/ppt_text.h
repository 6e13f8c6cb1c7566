// The text of a shape inside the PowerPoint object model: TextFrame.TextRange
// with its Text and its Font resolved through PowerPoint's inheritance.
//
// A character's formatting comes from, in rising precedence: the master's
// text style for a placeholder (title, body or other style) or the
// presentation's default text style for any other shape; the master
// placeholder's and then the layout placeholder's list style; the font
// reference of the shape's style (p:style/a:fontRef: the theme's major or
// minor font and its colour); the shape's own list style; the run's
// properties. Each list style contributes its a:defPPr and then the level of
// the paragraph (a:pPr@lvl). Theme fonts (+mn-lt, +mj-ea ...) name the
// theme's fonts; an East Asian theme font the theme leaves empty is the
// theme's font for the script of the text's East Asian language (altLang,
// else lang; Simplified Chinese when neither names an East Asian language).
// A run of a hyperlink without a colour of its own takes the theme's
// hyperlink colour.
//
// Over a range: names that differ read "", a size that differs -2, Boolean
// properties PowerPoint's tri-state (mixed -2), the colour that of the first
// character. Runs without characters and the paragraph marks do not count;
// a text frame without characters reports the formatting at its start (the
// first paragraph's end-of-paragraph properties).
//
// Thread safety: pure functions over the given nodes.
#pragma once

#include <optional>
#include <pugixml.hpp>
#include <string>

#include "platform/office/ppt/detail/ppt_design.h"
#include "platform/office/ppt/ppt_values.h"

namespace bq::office::ppt::detail {

// The TextFrame.TextRange of shape element `shape` (a p:sp; placeholder
// `ph` when it is one), drawn with `view`. Paragraphs are joined with CR,
// line breaks are VT.
TextRange readTextRange(pugi::xml_node shape, const std::optional<Placeholder>& ph,
                        const SlideView& view);

// The text of a shape's text body alone (Text of its TextRange), without
// resolving formatting.
std::string plainText(pugi::xml_node txBody);

}  // namespace bq::office::ppt::detail
