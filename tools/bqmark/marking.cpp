#include "tools/bqmark/marking.h"

#include <algorithm>
#include <system_error>

#include "common/automation_error.h"
#include "common/files.h"
#include "common/text.h"
#include "scoring/answer_files.h"
#include "scoring/excel_score.h"

namespace bq::mark {
namespace {

namespace fs = std::filesystem;

const std::vector<KindInfo> kKinds = {
    {Kind::kWordTable, "WORDTABLE", "07", "wt", "WORD制表题"},
    {Kind::kWordTest, "WORDTEST", "06", "wd", "WORD编辑题"},
    {Kind::kExcel, "EXCEL", "08", "ex", "EXCEL操作题"},
    {Kind::kPowerPoint, "POWERPOINT", "11", "ppt", "课件制作题"},
    {Kind::kOperation, "OPERATION", "05", "op", "计算机操作题"},
    {Kind::kEmail, "EMAIL", "10", "eml", "EMAIL操作题"},
};

std::vector<std::string> keysOf(const KnowledgeSet& set) { return set.Keys(); }

KnowledgeSet setOf(const std::vector<std::string>& points) {
  KnowledgeSet set;
  for (const std::string& p : points) set.set(p, 1);
  return set;
}

std::string unreadableNote(const AutomationError& e) {
  return std::string(kNoteUnreadable) + "：" + e.description();
}

// The field lists of the messages in the e-mail file `file`, read by the
// library from a private folder that holds only that file.
std::vector<std::vector<std::string>> mailMessages(BrightquillClient& client,
                                                   const fs::path& file) {
  const scoring::PrivateFolder folder(
      "bq-mark-mail-", scoring::FailureAs{err::kPathNotFound, "bqmark", "e-mail answer"});
  std::error_code ec;
  fs::copy_file(file, folder.path() / "answer.eml", ec);
  if (ec)
    throw AutomationError(err::kFileNotFound, "bqmark",
                          "cannot read \"" + file.string() + "\": " + ec.message());
  MailDictionary d;
  client.GetMailZSDFromPath(folder.path().string(), d);
  std::vector<std::vector<std::string>> messages;
  for (const auto& entry : d) messages.push_back(entry.second);
  return messages;
}

// The task marks of an answer that gives nothing to read: no task done, and
// nothing counted as removed either, so deleting everything earns nothing.
void scoreNothing(const std::vector<KeyPoint>& key, Mark& mark) {
  scoreTasks(
      key, [](const std::string&) { return false; }, mark);
  mark.removed.clear();
  mark.damaged.clear();
  if (mark.taskScore > 0) mark.taskScore = 0;
}

}  // namespace

const std::vector<KindInfo>& kinds() { return kKinds; }

const KindInfo& infoOf(Kind kind) { return kKinds.at(static_cast<size_t>(kind)); }

std::optional<Kind> kindNamed(std::string_view name) {
  const std::string upper = ucase(name);
  for (const KindInfo& k : kKinds)
    if (k.name == upper) return k.kind;
  return std::nullopt;
}

std::optional<Kind> kindOfTopic(std::string_view topicId) {
  for (const KindInfo& k : kKinds)
    if (k.topicId == topicId) return k.kind;
  return std::nullopt;
}

std::string_view roleName(Role role) {
  switch (role) {
    case Role::kTask:
      return "task";
    case Role::kRemove:
      return "remove";
    case Role::kKeep:
      return "keep";
  }
  return "";
}

std::optional<Role> roleNamed(std::string_view name) {
  for (Role r : {Role::kTask, Role::kRemove, Role::kKeep})
    if (roleName(r) == name) return r;
  return std::nullopt;
}

std::vector<std::string> modelPoints(const std::vector<KeyPoint>& key) {
  std::vector<std::string> points;
  for (const KeyPoint& k : key)
    if (k.role != Role::kRemove) points.push_back(k.point);
  return points;
}

void scoreTasks(const std::vector<KeyPoint>& key,
                const std::function<bool(const std::string&)>& has, Mark& mark) {
  mark.tasksDone.clear();
  mark.tasksMissing.clear();
  mark.removed.clear();
  mark.notRemoved.clear();
  mark.damaged.clear();
  mark.unstable.clear();
  size_t keep = 0;
  for (const KeyPoint& k : key) {
    if (!k.stable) {
      mark.unstable.push_back(k.point);
      continue;
    }
    const bool present = has(k.point);
    switch (k.role) {
      case Role::kTask:
        (present ? mark.tasksDone : mark.tasksMissing).push_back(k.point);
        break;
      case Role::kRemove:
        (present ? mark.notRemoved : mark.removed).push_back(k.point);
        break;
      case Role::kKeep:
        ++keep;
        if (!present) mark.damaged.push_back(k.point);
        break;
    }
  }
  const size_t tasks = mark.tasksDone.size() + mark.tasksMissing.size();
  const size_t removes = mark.removed.size() + mark.notRemoved.size();
  if (tasks + removes == 0) {
    mark.taskScore = -1;
    return;
  }
  // A lost keep point costs at least what a removed one gains, so that
  // deleting everything is worth nothing.
  const double weight =
      keep == 0 ? 1.0 : std::max(1.0, static_cast<double>(removes) / static_cast<double>(keep));
  const double earned = static_cast<double>(mark.tasksDone.size() + mark.removed.size()) -
                        weight * static_cast<double>(mark.damaged.size());
  mark.taskScore = std::clamp(earned / static_cast<double>(tasks + removes), 0.0, 1.0);
}

Mark unreadAnswer(const std::vector<KeyPoint>& key, std::string_view note) {
  Mark mark;
  mark.missing = modelPoints(key);
  mark.note = std::string(note);
  scoreNothing(key, mark);
  return mark;
}

Marker::~Marker() {
  if (!pptOpen_) return;
  try {
    client_.ClosePPT();
  } catch (const AutomationError&) {
    // The application is gone already; nothing is left to close.
  }
}

void Marker::ensurePowerPoint() {
  if (pptOpen_) return;
  client_.OpenPPTApp();
  pptOpen_ = true;
}

Mark Marker::markAnswer(Kind kind, const fs::path& file, const std::vector<KeyPoint>& key,
                        const std::string& sheet) {
  const std::vector<std::string> expected = modelPoints(key);
  std::error_code ec;
  if (file.empty() || !fs::exists(file, ec)) return unreadAnswer(key, kNoteNoFile);
  Mark mark;
  // The answer's points as the library's matching sees them (a listing's
  // upper-cased, as GetOpScore compares them).
  KnowledgeSet given;
  const bool caseless = kind == Kind::kOperation;
  auto has = [&](const std::string& p) { return given.Exists(caseless ? ucase(p) : p); };
  bool emptyAnswer = false;
  try {
    switch (kind) {
      case Kind::kOperation: {
        std::string listing;
        client_.GetOpZSDFromFile(file.string(), listing);
        const std::string expectedList = client_.JoinOpZSD(setOf(expected));
        mark.score = client_.GetOpScore(expectedList, listing);
        // GetOpScore compares items upper-cased; the report shows which.
        KnowledgeSet listed;
        client_.SplitOpZSD(listing, listed);
        for (const std::string& g : listed.Keys()) given.set(ucase(g), 1);
        for (const std::string& e : expected) (has(e) ? mark.matched : mark.missing).push_back(e);
        emptyAnswer = listed.empty();
        break;
      }
      case Kind::kEmail: {
        const Mark best = scoreMailFields(expected, mailMessages(client_, file));
        mark.score = best.score;
        mark.matched = best.matched;
        mark.missing = best.missing;
        mark.note = best.note;
        for (const std::string& m : best.matched) given.set(m, 1);
        emptyAnswer = !mark.note.empty();
        break;
      }
      default: {
        if (kind == Kind::kPowerPoint) ensurePowerPoint();
        // One read of the answer, by GetExcelScore's own two halves: the
        // extractor's reading (every point of the file), then its score
        // asked about every point of the key, which tells which the answer
        // holds; the score against the model answer's points counts those
        // alone, exactly as a call with the model answer's set would.
        const std::optional<extract::Reading> reading =
            scoring::readAnswer(std::string(infoOf(kind).name), file.string(),
                                sheet.empty() ? std::nullopt : std::optional<std::string>(sheet));
        KnowledgeSet asked, d1, d2;
        for (const KeyPoint& k : key) asked.set(k.point, 1);
        const double all = scoring::scorePoints(asked, reading->points, d1, d2);
        given = d1;
        for (const std::string& e : expected) (has(e) ? mark.matched : mark.missing).push_back(e);
        mark.score = all < 0 || expected.empty() ? -1
                                                 : static_cast<double>(mark.matched.size()) /
                                                       static_cast<double>(expected.size());
        // A score of 0 may be a file that held no point at all, or one the
        // extractor could not open: the note is the same for both.
        if (d1.empty()) emptyAnswer = reading->points.empty();
        break;
      }
    }
    if (emptyAnswer) {
      // Nothing read: no task done, and nothing removed either.
      if (mark.note.empty()) mark.note = kNoteNoPoints;
      scoreNothing(key, mark);
    } else {
      scoreTasks(key, has, mark);
    }
  } catch (const AutomationError& e) {
    mark = unreadAnswer(key, unreadableNote(e));
  }
  if (mark.score < 0 && mark.note.empty() && mark.taskScore < 0) mark.note = kNoteNotScored;
  return mark;
}

std::vector<std::string> Marker::expectedPoints(Kind kind, const fs::path& file,
                                                const std::string& sheet) {
  KnowledgeSet set;
  const std::string path = file.string();
  switch (kind) {
    case Kind::kWordTable:
      client_.ReadWordTable(path, set);
      break;
    case Kind::kWordTest:
      client_.ReadWord(path, set);
      break;
    case Kind::kExcel:
      client_.ReadExcel(path, set,
                        sheet.empty() ? std::nullopt : std::optional<std::string>(sheet));
      break;
    case Kind::kPowerPoint:
      ensurePowerPoint();
      client_.ReadPPT(path, set);
      break;
    case Kind::kOperation: {
      std::string listing;
      client_.GetOpZSDFromFile(path, listing);
      client_.SplitOpZSD(listing, set);
      break;
    }
    case Kind::kEmail:
      for (const auto& fields : mailMessages(client_, file))
        for (const std::string& f : fields) set.set(f, 1);
      break;
  }
  return keysOf(set);
}

Mark scoreMailFields(const std::vector<std::string>& expected,
                     const std::vector<std::vector<std::string>>& messages) {
  Mark best;
  best.missing = expected;
  if (expected.empty()) {
    best.score = -1;
    best.note = kNoteNotScored;
    return best;
  }
  if (messages.empty()) best.note = kNoteNoPoints;
  for (const auto& fields : messages) {
    KnowledgeSet have = setOf(fields);
    Mark m;
    for (const std::string& e : expected) (have.Exists(e) ? m.matched : m.missing).push_back(e);
    m.score = static_cast<double>(m.matched.size()) / static_cast<double>(expected.size());
    if (m.matched.size() > best.matched.size()) best = std::move(m);
  }
  return best;
}

}  // namespace bq::mark
