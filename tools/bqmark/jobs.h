// The marking jobs of a class: which uploaded file answers which question of
// which examinee's paper, with the question's expected knowledge points.
//
// An upload folder holds the files FileUpLoad sends, for every examinee:
// wt<ID>.doc, wd<ID>.doc, ex<ID>.xls, ppt<ID>.ppt and op<ID>.txt (and, where
// the e-mail answers are collected too, eml<ID>.eml). Prefix and extension
// are matched without regard to case, and so is the examinee ID; other files
// are left alone.
//
// Thread safety: plain values and functions without shared state.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/bqmark/answer_key.h"
#include "tools/bqmark/marking.h"

namespace bq::mark {

// The uploaded files of one examinee, by kind.
struct Examinee {
  std::string id;  // as the first file name spelled it
  std::map<Kind, std::filesystem::path> files;
};

struct UploadFolder {
  std::filesystem::path folder;
  std::vector<Examinee> examinees;   // in order of their IDs upper-cased
  std::vector<std::string> ignored;  // file names that are no answer file
};

// Lists `folder`. Fails with AutomationError 76 when it is not a folder.
UploadFolder scanUploads(const std::filesystem::path& folder);

// The kind and examinee ID of an uploaded file name, if it is one.
std::optional<std::pair<Kind, std::string>> parseUploadName(const std::string& name);

struct Job {
  std::string examinee;  // ID
  std::string paper;     // card number of the paper, "" when none was found
  Kind kind = Kind::kOperation;
  QuestionRef question;
  std::filesystem::path file;    // empty when the examinee sent none
  std::vector<KeyPoint> points;  // the question's answer key, in key order
  std::string sheet;
  // Why the file is not read, when it is not (a symbolic link, a file over
  // the readers' size bound): the answer scores 0 with this note.
  std::string refusal;
  // Identifies what was marked: the file's size and modification time ("" for
  // no file), so a changed answer is marked again.
  std::string stamp;

  // Examinee (upper-cased), topic and question: one result per key.
  std::string key() const;
};

// The note of an answer file that is not read, or "" for one that is: a
// symbolic link, a file whose real place is outside `folder` (the upload
// folder), or a file over the Office readers' size bound.
std::string refusalOf(const std::filesystem::path& folder, const std::filesystem::path& file);

inline constexpr std::string_view kNoteSymlink = "答卷是符号链接，未读取";
inline constexpr std::string_view kNoteTooLarge = "答卷超过 256 MiB，未读取";

// One job per examinee and operation question of the paper: the paper whose
// card number is the examinee's ID, else `defaultPaper` (when not empty). An
// examinee without a paper gets one job of kind OPERATION with an empty
// paper, which reports that. E-mail questions are marked only when the
// folder holds e-mail answers at all (the exam's upload sends none).
std::vector<Job> planJobs(const ExamKey& key, const UploadFolder& uploads,
                          const std::string& defaultPaper);

// The stamp of a file (see Job::stamp).
std::string fileStamp(const std::filesystem::path& file);

// A job's outcome.
struct Result {
  Job job;
  Mark mark;
};

// Marks `job` in this process. An examinee without a paper scores -1 with a
// note, a refused file 0 with its note; otherwise Marker::markAnswer.
Mark markJob(Marker& marker, const Job& job);

inline constexpr std::string_view kNoteNoPaper = "没有找到该考生的试卷";

// `j` as one line of JSON text with its line break (a text that is not
// valid UTF-8 is written with U+FFFD in its place).
std::string jsonLine(const nlohmann::json& j);

nlohmann::json markToJson(const Mark& m);
Mark markFromJson(const nlohmann::json& j);
nlohmann::json jobToJson(const Job& job);
// The key as JSON: [{"point": ..., "role": "task", "stable": true}, ...].
nlohmann::json keyToJson(const std::vector<KeyPoint>& key);
std::vector<KeyPoint> keyFromJson(const nlohmann::json& j);
Job jobFromJson(const nlohmann::json& j);

}  // namespace bq::mark
