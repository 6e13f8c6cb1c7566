// The exam database's queries as the page generators run them.
//
// Each function opens a forward-only, read-only record set on `connection`
// and hands it to the caller, who reads it and closes it (or drops it). The
// query texts are the client's own; the card number and the topic code are
// bound as "?" parameters where the client pasted them in, so a card number
// such as "bq'" is only ever a value. A question table name cannot be bound:
// it is taken only when it is a plain identifier (see requirePlainTableName).
//
// Failures throw the data provider's AutomationError (a closed connection, a
// missing table), or kInvalidCall for a table name that is not plain.
//
// Thread safety: as the connection's.
#pragma once

#include <string>
#include <string_view>

#include "common/text.h"
#include "platform/db/connection.h"

namespace bq::client {

// The three wordings of the section-bar query (the same rows).
enum class SectionBarQuery {
  kChoiceAndTyping,  // choice and typing pages: "order by topic_id asc"
  kTrueFalse,        // true/false page: "order by topic_id " (trailing blank)
  kOperation,        // operation pages: a double blank before "where"
};

// The `topics` rows of the topics that occur in the paper of `card`, by topic code.
db::Recordset openPaperTopics(const db::Connection& connection, std::string_view card,
                              SectionBarQuery wording);

// The choice questions ("01") of `card`'s paper: the selection columns, then
// tpid and answer; single-answer questions (tmlx "1") first.
db::Recordset openChoiceQuestions(const db::Connection& connection, std::string_view card);

// The true/false questions ("02") of `card`'s paper: the judgement columns,
// then tpid and answer.
db::Recordset openTrueFalseQuestions(const db::Connection& connection, std::string_view card);

// The typing questions ("04") of `card`'s paper: the typewrite columns, then answer.
db::Recordset openTypingQuestions(const db::Connection& connection, std::string_view card);

// The topic_table of topic `code` (no row for an unknown code).
db::Recordset openTopicTable(const db::Connection& connection, std::string_view code);

// The rows of question table `table` that `card`'s paper holds for topic
// `code`. REQUIRES: `table` is a plain identifier (else kInvalidCall).
db::Recordset openSectionQuestions(const db::Connection& connection, std::string_view table,
                                   std::string_view card, std::string_view code);

// The file-operation question of `card`'s paper: Question (its operation
// list, the starting tree) and uid; no row when the card has no paper.
db::Recordset openOperationList(const db::Connection& connection, std::string_view card);

// The question document of topic `code` in `card`'s paper: fj of question
// table `table`, then topic_id. REQUIRES: `table` is a plain identifier.
db::Recordset openQuestionFile(const db::Connection& connection, std::string_view table,
                               std::string_view card, std::string_view code);

// The question text of topic `code` in `card`'s paper: tg of question table
// `table`, then topic_id. REQUIRES: `table` is a plain identifier.
db::Recordset openQuestionText(const db::Connection& connection, std::string_view table,
                               std::string_view card, std::string_view code);

// The value of column `name` of the current row as text (numbers in plain
// decimal). A Null value throws AutomationError 94 "Invalid use of Null"
// naming the column, as the page texts cannot be built from it; an unknown
// column throws 3265.
std::string columnText(db::Recordset& rs, std::string_view name);

// isPlainIdentifier: common/text.h.

// Throws AutomationError kInvalidCall naming `value` when it is not a plain
// identifier. `what` names where the value came from ("topic_table").
void requirePlainTableName(std::string_view value, std::string_view what);

}  // namespace bq::client
