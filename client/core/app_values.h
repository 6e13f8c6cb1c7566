// The exam client's program-wide values: created when the program starts and
// kept until it ends, one instance, owned by whoever runs the client (the
// dispatcher). The page generators read the folder, the card number and the
// clock values from here and fill the answer keys.
//
// Thread safety: none; the client runs on its one user-interface thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/connection.h"

namespace bq::client {

// The exam database's password.
inline constexpr std::string_view kDatabasePassword = "KVRMTX5830";
// The folder for the question files of the current exam.
inline constexpr std::string_view kWorkFolder = "C:\\BQTEST";
// Entries of an answer key at start; a section with more questions grows its key.
inline constexpr size_t kAnswerKeyEntries = 20;

struct AppValues {
  // The folder that holds the program file, without a trailing separator.
  // Static pages, images and the generated page files live here.
  std::string AppFolder;
  // Opened once at start (openExamConnection); every exam query runs on it.
  db::Connection ExamConnection;
  std::string WorkFolder{kWorkFolder};
  // The examinee's information card number; empty until it is typed.
  std::string CardNumber;
  // Seconds counted by the exam clock and the typing clock; never reset.
  int32_t ExamTicks = 0;
  int32_t TypingTicks = 0;
  // Remaining exam and typing seconds, written into the pages.
  int32_t ExamSecondsLeft = 0;
  int32_t TypingSecondsLeft = 0;
  // Correct answers collected by the choice and true/false pages, index = question
  // number - 1. Entries stay for the whole run.
  std::vector<std::string> ChoiceAnswerKey = std::vector<std::string>(kAnswerKeyEntries);
  std::vector<std::string> TrueFalseAnswerKey = std::vector<std::string>(kAnswerKeyEntries);
};

// The connection string of the exam database "BqTest.MDB" in `appFolder`.
std::string examConnectionString(std::string_view appFolder);

// Opens app.ExamConnection on the exam database in app.AppFolder with an
// empty user name and password. Failures throw the data provider's
// AutomationError (a missing file, a wrong password); the connection stays closed.
void openExamConnection(AppValues& app);

}  // namespace bq::client
