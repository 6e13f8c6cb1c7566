// The objective-question pages: the choice page "selection.asp" (topic "01")
// and the true/false page "judgement.asp" (topic "02").
//
// Each generator builds the whole page text from the exam database (the
// paper of app.CardNumber on app.ExamConnection), with the stored answers
// pre-selected, answered questions in black and unanswered ones in blue, the
// correct-answer list below the questions, and records the correct answers in
// the program-wide answer key. The page is then written into app.AppFolder
// with WritePageFile.
//
// A section with more than 20 questions grows its answer key; the answer list
// has one line per question, never fewer than 20.
//
// Failures: anything that goes wrong while the page text is built (a failed
// query, a Null column, a topic_table that is not a plain identifier) throws
// AutomationError and writes no file; answer-key entries already recorded
// stay. Failures of the writing itself are ignored (WritePageFile).
//
// Thread safety: none; the client's one thread.
#pragma once

#include <string>

#include "client/core/app_values.h"

namespace bq::client {

// The page texts, without writing them (the answer keys are filled all the same).
std::string ChoicePageText(AppValues& app);
std::string TrueFalsePageText(AppValues& app);

// Build the page and write it to AppFolder + "\selection.asp" / "\judgement.asp"
// (writePage); return true. Throw AutomationError when the text cannot be
// built or the file cannot be written (the old page file then stays).
bool BuildChoicePage(AppValues& app);
bool BuildTrueFalsePage(AppValues& app);

}  // namespace bq::client
