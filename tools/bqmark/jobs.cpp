#include "tools/bqmark/jobs.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <system_error>

#include "common/automation_error.h"
#include "common/text.h"
#include "common/winpath.h"
#include "scoring/answer_files.h"

namespace bq::mark {
namespace {

namespace fs = std::filesystem;

std::string_view extensionOf(Kind kind) {
  switch (kind) {
    case Kind::kWordTable:
    case Kind::kWordTest:
      return ".DOC";
    case Kind::kExcel:
      return ".XLS";
    case Kind::kPowerPoint:
      return ".PPT";
    case Kind::kOperation:
      return ".TXT";
    case Kind::kEmail:
      return ".EML";
  }
  return "";
}

std::vector<std::string> stringsOf(const nlohmann::json& j) {
  std::vector<std::string> v;
  for (const auto& e : j) v.push_back(e.get<std::string>());
  return v;
}

}  // namespace

std::optional<std::pair<Kind, std::string>> parseUploadName(const std::string& name) {
  const std::string upper = ucase(name);
  for (const KindInfo& k : kinds()) {
    const std::string prefix = ucase(k.prefix);
    const std::string_view ext = extensionOf(k.kind);
    if (upper.size() > prefix.size() + ext.size() && upper.starts_with(prefix) &&
        upper.ends_with(ext)) {
      return std::make_pair(k.kind,
                            name.substr(prefix.size(), name.size() - prefix.size() - ext.size()));
    }
  }
  return std::nullopt;
}

UploadFolder scanUploads(const fs::path& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec))
    throw AutomationError(err::kPathNotFound, "bqmark",
                          "no such folder: \"" + folder.string() + "\"");
  UploadFolder out;
  out.folder = folder;
  std::map<std::string, Examinee> byId;
  for (const winpath::DirEntry& e : winpath::listDirectory(folder)) {
    const auto parsed = e.isDirectory ? std::nullopt : parseUploadName(e.name);
    if (!parsed) {
      out.ignored.push_back(e.name);
      continue;
    }
    Examinee& ex = byId[ucase(parsed->second)];
    if (ex.id.empty()) ex.id = parsed->second;
    // Two names that differ only in case: the first in listing order counts.
    if (!ex.files.emplace(parsed->first, folder / e.name).second) out.ignored.push_back(e.name);
  }
  for (auto& [id, ex] : byId) out.examinees.push_back(std::move(ex));
  return out;
}

std::string Job::key() const {
  return ucase(examinee) + "|" + question.topicId + "|" + std::to_string(question.tpid);
}

std::string fileStamp(const fs::path& file) {
  using namespace std::chrono;
  std::error_code ec;
  if (file.empty()) return {};
  const uintmax_t size = fs::file_size(file, ec);
  if (ec) return {};
  const fs::file_time_type written = fs::last_write_time(file, ec);
  if (ec) return {};
  // Seconds and nanoseconds since 1970, as stored stamps have them.
  const auto since = duration_cast<nanoseconds>(file_clock::to_sys(written).time_since_epoch());
  const seconds whole = floor<seconds>(since);
  return std::to_string(size) + ":" + std::to_string(whole.count()) + "." +
         std::to_string((since - whole).count());
}

std::vector<Job> planJobs(const ExamKey& key, const UploadFolder& uploads,
                          const std::string& defaultPaper) {
  bool anyMail = false;
  for (const Examinee& ex : uploads.examinees) anyMail = anyMail || ex.files.count(Kind::kEmail);
  std::vector<Job> jobs;
  for (const Examinee& ex : uploads.examinees) {
    const Paper* paper = key.paperOf(ex.id);
    if (!paper && !defaultPaper.empty()) paper = key.paperOf(defaultPaper);
    if (!paper) {
      Job job;
      job.examinee = ex.id;
      jobs.push_back(std::move(job));
      continue;
    }
    for (const QuestionRef& q : paper->questions) {
      const std::optional<Kind> kind = kindOfTopic(q.topicId);
      if (!kind || (*kind == Kind::kEmail && !anyMail)) continue;
      Job job;
      job.examinee = ex.id;
      job.paper = paper->uid;
      job.kind = *kind;
      job.question = q;
      if (auto f = ex.files.find(*kind); f != ex.files.end()) job.file = f->second;
      if (auto e = key.expected.find(q); e != key.expected.end()) {
        job.points = e->second.points;
        job.sheet = e->second.sheet;
      }
      if (!job.file.empty()) job.refusal = refusalOf(uploads.folder, job.file);
      job.stamp = fileStamp(job.file);
      jobs.push_back(std::move(job));
    }
  }
  return jobs;
}

std::string refusalOf(const fs::path& folder, const fs::path& file) {
  std::error_code ec;
  const fs::file_status link = fs::symlink_status(file, ec);
  if (ec) return {};  // gone: marked as not handed in
  if (fs::is_symlink(link)) return std::string(kNoteSymlink);
  // A file reached through a linked folder, or a hard-linked name, is read
  // only when its real place is inside the upload folder.
  const fs::path real = fs::weakly_canonical(file, ec);
  const fs::path root = fs::weakly_canonical(folder, ec);
  if (!ec) {
    const auto [r, f] = std::mismatch(root.begin(), root.end(), real.begin(), real.end());
    if (r != root.end()) return std::string(kNoteSymlink);
  }
  if (fs::is_regular_file(link) && fs::file_size(file, ec) > scoring::kMaxAnswerBytes && !ec)
    return std::string(kNoteTooLarge);
  return {};
}

Mark markJob(Marker& marker, const Job& job) {
  if (job.paper.empty()) {
    Mark m;
    m.score = -1;
    m.taskScore = -1;
    m.note = kNoteNoPaper;
    return m;
  }
  if (!job.refusal.empty()) return unreadAnswer(job.points, job.refusal);
  return marker.markAnswer(job.kind, job.file, job.points, job.sheet);
}

std::string jsonLine(const nlohmann::json& j) {
  return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

nlohmann::json markToJson(const Mark& m) {
  return {{"score", m.score},
          {"matched", m.matched},
          {"missing", m.missing},
          {"note", m.note},
          {"task_score", m.taskScore},
          {"tasks_done", m.tasksDone},
          {"tasks_missing", m.tasksMissing},
          {"removed", m.removed},
          {"not_removed", m.notRemoved},
          {"damaged", m.damaged},
          {"unstable", m.unstable}};
}

Mark markFromJson(const nlohmann::json& j) {
  Mark m;
  m.score = j.at("score").get<double>();
  m.matched = stringsOf(j.at("matched"));
  m.missing = stringsOf(j.at("missing"));
  m.note = j.at("note").get<std::string>();
  m.taskScore = j.at("task_score").get<double>();
  m.tasksDone = stringsOf(j.at("tasks_done"));
  m.tasksMissing = stringsOf(j.at("tasks_missing"));
  m.removed = stringsOf(j.at("removed"));
  m.notRemoved = stringsOf(j.at("not_removed"));
  m.damaged = stringsOf(j.at("damaged"));
  m.unstable = stringsOf(j.at("unstable"));
  return m;
}

nlohmann::json keyToJson(const std::vector<KeyPoint>& key) {
  nlohmann::json a = nlohmann::json::array();
  for (const KeyPoint& k : key)
    a.push_back({{"point", k.point}, {"role", roleName(k.role)}, {"stable", k.stable}});
  return a;
}

std::vector<KeyPoint> keyFromJson(const nlohmann::json& j) {
  std::vector<KeyPoint> key;
  for (const auto& e : j) {
    const std::optional<Role> role = roleNamed(e.at("role").get<std::string>());
    if (!role) throw std::invalid_argument("unknown role of a key point");
    key.push_back({e.at("point").get<std::string>(), *role, e.at("stable").get<bool>()});
  }
  return key;
}

nlohmann::json jobToJson(const Job& job) {
  return {{"examinee", job.examinee},      {"paper", job.paper},
          {"kind", infoOf(job.kind).name}, {"topic_id", job.question.topicId},
          {"tpid", job.question.tpid},     {"file", job.file.string()},
          {"key", keyToJson(job.points)},  {"sheet", job.sheet},
          {"refusal", job.refusal},        {"stamp", job.stamp}};
}

Job jobFromJson(const nlohmann::json& j) {
  Job job;
  job.examinee = j.at("examinee").get<std::string>();
  job.paper = j.at("paper").get<std::string>();
  job.kind = kindNamed(j.at("kind").get<std::string>()).value_or(Kind::kOperation);
  job.question = {j.at("topic_id").get<std::string>(), j.at("tpid").get<int32_t>()};
  job.file = j.at("file").get<std::string>();
  job.points = keyFromJson(j.at("key"));
  job.sheet = j.at("sheet").get<std::string>();
  job.refusal = j.at("refusal").get<std::string>();
  job.stamp = j.at("stamp").get<std::string>();
  return job;
}

}  // namespace bq::mark
