#include "scoring/extractors/mail.h"

#include <filesystem>
#include <limits>

#include "common/ansi.h"
#include "common/automation_error.h"
#include "common/files.h"
#include "common/read_limits.h"
#include "common/sequential_input.h"
#include "common/text.h"
#include "common/winpath.h"

namespace bq {
namespace {

namespace fs = std::filesystem;

bool hasEmlExtension(std::string_view name) {
  constexpr std::string_view kExt = ".eml";
  if (name.size() < kExt.size()) return false;
  return lcase(name.substr(name.size() - kExt.size())) == kExt;
}

// GetMailField on a text given in UTF-16, as written and lower-cased.
// Positions are counted in UTF-16 code units: lower-casing keeps that length
// for every character, though not always its length in UTF-8.
std::string fieldAfter(std::u16string_view text, std::u16string_view lower, std::u16string_view key,
                       std::optional<std::u16string_view> stop) {
  const size_t at = lower.find(key);
  if (at == std::u16string_view::npos) return {};
  const size_t from = at + key.size() + 1;  // the character after the key is dropped
  const std::u16string_view rest = from < text.size() ? text.substr(from) : std::u16string_view();
  if (!stop) return toUtf8(rest);
  const size_t cut = rest.find(*stop);
  if (cut == std::u16string_view::npos) return {};
  return toUtf8(rest.substr(0, cut));
}

// The field that one item of a message gives, or "" when it gives none: the
// GetMailField calls of the extractor, on one conversion of the item.
std::string mailFieldOf(const std::string& item) {
  const std::u16string text = toUtf16(item);
  const std::u16string lower = lcase16(text);
  std::string field = fieldAfter(text, lower, u"x-sender:", u"@");
  if (field.empty()) field = fieldAfter(text, lower, u"x-receiver:", u"@");
  if (field.empty()) field = fieldAfter(text, lower, u"subject:", std::nullopt);
  if (field.empty()) {
    field = fieldAfter(text, lower, u"filename=", std::nullopt);
    if (!field.empty() && field.back() == '"') field.pop_back();
  }
  return field;
}

int16_t readMailFile(const fs::path& path, MailFieldList& list) {
  return ReadMailFieldsFromBytes(readWholeFile(path, limits::kMailMessage), list);
}

}  // namespace

void GetMailZSDFromPath(const std::string& cPath, MailDictionary& d) {
  d = MailDictionary();
  // Names are joined to the native folder: on Linux a name may hold a "\",
  // which the Windows form of the path would take for a separator.
  const fs::path folder = winpath::toNative(cPath);
  for (const auto& entry : winpath::listDirectory(folder)) {
    if (entry.isDirectory || !hasEmlExtension(entry.name)) continue;
    MailFieldList list;
    if (readMailFile(folder / entry.name, list) <= 0) continue;
    const std::string key = ucase(list.front());
    d.set(key, std::move(list));
  }
}

int16_t ReadMailFields(const std::string& file, MailFieldList& list) {
  return readMailFile(winpath::toNative(file), list);
}

int16_t ReadMailFieldsFromBytes(std::string_view bytes, MailFieldList& list) {
  SequentialInput in(fromAnsi(bytes));
  // The end is tested only after an item has been read, so an empty file
  // fails with 62 at its first read.
  do {
    std::string field = mailFieldOf(in.readItem());
    if (field.empty()) continue;
    if (list.size() >= static_cast<size_t>(std::numeric_limits<int16_t>::max()))
      raiseError(err::kOverflow);
    list.push_back(std::move(field));
  } while (!in.eof());
  return static_cast<int16_t>(list.size());
}

std::string GetMailField(const std::string& text, std::string_view key,
                         std::optional<std::string_view> stop) {
  const std::u16string text16 = toUtf16(text);
  std::optional<std::u16string> stop16;
  if (stop) stop16 = toUtf16(*stop);
  return fieldAfter(text16, lcase16(text16), toUtf16(key), stop16);
}

}  // namespace bq
