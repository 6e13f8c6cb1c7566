#include "tools/bqmark/marking.h"

#include <system_error>

#include "common/automation_error.h"
#include "common/files.h"
#include "common/text.h"
#include "platform/office/legacy_conversion.h"

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
  office::TempFolder folder("bq-mark-mail-",
                            office::Failure{err::kPathNotFound, "bqmark", "e-mail answer"});
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

Mark Marker::markAnswer(Kind kind, const fs::path& file, const std::vector<std::string>& expected,
                        const std::string& sheet) {
  Mark mark;
  std::error_code ec;
  if (file.empty() || !fs::exists(file, ec)) {
    mark.missing = expected;
    mark.note = kNoteNoFile;
    return mark;
  }
  try {
    switch (kind) {
      case Kind::kOperation: {
        std::string listing;
        client_.GetOpZSDFromFile(file.string(), listing);
        const std::string expectedList = client_.JoinOpZSD(setOf(expected));
        mark.score = client_.GetOpScore(expectedList, listing);
        // GetOpScore compares items upper-cased; the report shows which.
        KnowledgeSet given;
        client_.SplitOpZSD(listing, given);
        KnowledgeSet givenUpper;
        for (const std::string& g : given.Keys()) givenUpper.set(ucase(g), 1);
        for (const std::string& e : expected)
          (givenUpper.Exists(ucase(e)) ? mark.matched : mark.missing).push_back(e);
        if (given.empty()) mark.note = kNoteNoPoints;
        break;
      }
      case Kind::kEmail:
        mark = scoreMailFields(expected, mailMessages(client_, file));
        break;
      default: {
        if (kind == Kind::kPowerPoint) ensurePowerPoint();
        KnowledgeSet oZSD = setOf(expected), d1, d2;
        mark.score =
            client_.GetExcelScore(std::string(infoOf(kind).name), oZSD, file.string(), d1, d2,
                                  sheet.empty() ? std::nullopt : std::optional<std::string>(sheet));
        mark.matched = keysOf(d1);
        mark.missing = keysOf(d2);
        // A score of 0 may be a file the extractor could not read at all.
        if (mark.score == 0 && expectedPoints(kind, file, sheet).empty()) mark.note = kNoteNoPoints;
        break;
      }
    }
  } catch (const AutomationError& e) {
    mark.score = 0;
    mark.matched.clear();
    mark.missing = expected;
    mark.note = unreadableNote(e);
  }
  if (mark.score < 0 && mark.note.empty()) mark.note = kNoteNotScored;
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
