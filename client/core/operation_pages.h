// The operation-question pages, one generator for the six operation topics:
// file operation ("05"), Word editing ("06"), Word table ("07"), Excel
// ("08"), e-mail ("10") and presentation ("11").
//
// A page shows the heading, the text of the paper's first question of the
// topic in a read-only box, and the open button "请点击打开". The page does
// nothing on the press; the dispatcher sees the button become the active
// element and opens the question's file. When the exam time is up the page
// opens "UpdateSQL.asp" in the same window.
//
// Failures: anything that goes wrong while the page text is built (a failed
// query, a Null column, a topic_table that is not a plain identifier, a topic
// code without a `topics` row) throws AutomationError and writes no file. A
// code that is not one of the six throws kInvalidCall before anything is
// read. Failures of the writing itself are ignored (WritePageFile).
//
// Thread safety: none; the client's one thread.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "client/core/app_values.h"

namespace bq::client {

// One operation topic: its code, the heading the dispatcher passes for it,
// and the name of its page file in the program folder.
struct OperationTopic {
  std::string_view code;
  std::string_view heading;
  std::string_view pageFile;
};

// The six operation topics, in topic-code order.
std::span<const OperationTopic> operationTopics();

// The topic of `code`, or nullptr when `code` is not an operation topic.
const OperationTopic* findOperationTopic(std::string_view code);

// The page text for topic `code` of the paper of app.CardNumber, headed
// `heading`, or nothing when the paper has no question of that topic (the
// frame's section-bar query has run all the same). Only the first question of
// the topic is shown, its text trimmed of blanks at both ends. The question
// table is the one `topics` names for `code`.
std::optional<std::string> OperationPageText(const AppValues& app, std::string_view heading,
                                             std::string_view code);

// Builds the page and writes it to app.AppFolder + "\" + the page file of
// `code` ("operation.asp", "wordtest.asp", ...). Without a question of the
// topic no file is written and an existing page file stays as it is. Returns
// whether the file was written; throws AutomationError when the text cannot
// be built or the file cannot be written (the old page file then stays).
bool BuildOperationPage(const AppValues& app, std::string_view heading, std::string_view code);

}  // namespace bq::client
