#include "scoring/extractors/word_reader.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <system_error>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "common/automation_error.h"
#include "common/text.h"
#include "common/winpath.h"
#include "scoring/extractors/guarded_step.h"

namespace bq {
namespace {

namespace word = office::word;
using extract::ReadOnce;
using extract::step;

// Text items are cut to this many characters.
constexpr size_t kTextCut = 120;

// Adds `label` + `value`, reusing one buffer for the key. Labels are string
// literals. The same numeric values recur on every word and paragraph, and
// adding a point that is there already changes nothing (its item is 1 either
// way), so each label and number is formed and added once.
class Points {
 public:
  explicit Points(KnowledgeSet& d) : d_(d) {}
  void add(std::string_view label, std::string_view value) {
    // Texts recur too (a font name on every word): the last one of each
    // label is not added again.
    std::string& last = lastText_[label.data()];
    if (!last.empty() && last == value) return;
    last.assign(value);
    key_.assign(label);
    key_ += value;
    d_.set(key_, 1);
  }
  void add(std::string_view label, int32_t value) {
    if (first(label, static_cast<uint32_t>(value))) add(label, std::to_string(value));
  }
  void add(std::string_view label, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    if (first(label, bits)) add(label, wordtest::SingleText(value));
  }

 private:
  struct Hash {
    size_t operator()(const std::pair<const char*, uint32_t>& k) const {
      return std::hash<const void*>()(k.first) * 31 + k.second;
    }
  };
  // Looked up before inserting: nearly every value has been added before,
  // and emplace would make a node for it first.
  bool first(std::string_view label, uint32_t value) {
    const std::pair<const char*, uint32_t> key(label.data(), value);
    if (added_.find(key) != added_.end()) return false;
    added_.insert(key);
    return true;
  }

  KnowledgeSet& d_;
  std::string key_;
  std::unordered_map<const char*, std::string> lastText_;
  std::unordered_set<std::pair<const char*, uint32_t>, Hash> added_;
};

// The six items of a header or footer.
void readHeaderFooter(const word::Section& section, bool footer, Points& points) {
  const auto range = [&] { return (footer ? section.footers(1) : section.headers(1)).range(); };
  step([&] { points.add(footer ? "页脚正文," : "页眉正文,", range().text()); });
  step(
      [&] { points.add(footer ? "页脚对齐," : "页眉对齐,", range().paragraphFormat().alignment); });
  step([&] { points.add(footer ? "页脚字体," : "页眉字体,", range().font().name); });
  step([&] { points.add(footer ? "页脚字体大小," : "页眉字体大小,", range().font().size); });
  step([&] { points.add(footer ? "页脚斜体," : "页眉斜体,", range().font().italic); });
  step([&] { points.add(footer ? "页脚字体加粗," : "页眉字体加粗,", range().font().bold); });
}

void readPageSetup(const word::Section& section, Points& points) {
  const auto setup = [&] { return section.pageSetup(); };
  step([&] { points.add("打印方向,", setup().orientation); });
  step([&] { points.add("打印上页边距,", setup().topMargin); });
  step([&] { points.add("打印下页边距,", setup().bottomMargin); });
  step([&] { points.add("打印左页边距,", setup().leftMargin); });
  step([&] { points.add("打印右页边距,", setup().rightMargin); });
  step([&] { points.add("打印装订线位置,", setup().gutterPos); });
  step([&] { points.add("打印装订线边距,", setup().gutter); });
  step([&] { points.add("打印页眉边距,", setup().headerDistance); });
  step([&] { points.add("打印页脚边距,", setup().footerDistance); });
  step([&] { points.add("打印纸大小,", setup().paperSize); });
}

void readParagraph(const word::Paragraph& p, Points& points) {
  step([&] { points.add("段后行数,", p.lineUnitAfter()); });
  step([&] { points.add("段前行数,", p.lineUnitBefore()); });
  step([&] { points.add("段左缩进,", p.characterUnitLeftIndent()); });
  step([&] { points.add("段右缩进,", p.characterUnitRightIndent()); });
  step([&] {
    // A test that cannot be read counts as passed; the branch's own read
    // then fails the same way.
    std::optional<float> first;
    try {
      first = p.characterUnitFirstLineIndent();
    } catch (const AutomationError&) {
    }
    if (!first || *first >= 0)
      points.add("段首行缩进,", first ? *first : p.characterUnitFirstLineIndent());
    else
      points.add("段悬挂缩进,", *first);
  });
  step([&] { points.add("文本对齐,", p.range().paragraphFormat().alignment); });
  step([&] { points.add("行距类型,", p.range().paragraphFormat().lineSpacingRule); });
  step([&] { points.add("行距数值,", p.range().paragraphFormat().lineSpacing); });

  // The columns of the paragraph's section: the count once, then each column.
  int32_t count = 0;
  step([&] { count = p.range().textColumns().count(); });
  for (int32_t i = 1; i <= count; ++i)
    step([&] {
      const word::TextColumns columns = p.range().textColumns();
      if (i > columns.count())
        throw AutomationError(word::wd::kNoSuchMember, std::string(word::kErrorSource),
                              "The requested member of the collection does not exist.");
      points.add("分栏宽度,", wordtest::IntegerPart(columns.widths[static_cast<size_t>(i - 1)]));
    });
  step([&] { points.add("分栏间隔,", wordtest::IntegerPart(p.range().textColumns().spacing)); });
  step([&] {
    const word::TextColumns columns = p.range().textColumns();
    points.add("分栏间隔类型:",
               std::to_string(columns.evenlySpaced) + "," + std::to_string(columns.lineBetween));
  });
}

void readWord(const word::Document& doc, int32_t index, Points& points) {
  // The word, its shading and its font are each read once for the steps
  // that use them.
  ReadOnce w([&] { return doc.words(index); });
  ReadOnce shade([&] { return w().shading(); });
  ReadOnce f([&] { return w().font(); });
  step([&] { points.add("底纹背景色,", shade().backgroundPatternColor); });
  step([&] { points.add("底纹前景色,", shade().foregroundPatternColor); });
  step([&] { points.add("底纹类型,", shade().texture); });
  step([&] { points.add("文本,", wordtest::TrimmedText(w().text())); });
  step([&] { points.add("文本下划线,", f().underline); });
  step([&] { points.add("文本颜色,", f().colorIndex); });
  step([&] { points.add("文本字体,", f().name); });
  step([&] { points.add("文本大小,", f().size); });
  step([&] { points.add("文本加粗,", f().bold); });
  step([&] { points.add("文本斜体,", f().italic); });
}

}  // namespace

namespace wordtest {

std::string SingleText(float value) {
  // As printf's %.7G: to_chars with a precision is defined as %.*g.
  char buf[32];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, static_cast<double>(value),
                                       std::chars_format::general, 7);
  std::string text(buf, ec == std::errc() ? end : buf);
  for (char& c : text)
    if (c == 'e') c = 'E';
  return text;
}

std::string IntegerPart(float value) {
  std::string text = SingleText(value);
  if (size_t dot = text.find('.'); dot != std::string::npos) text.resize(dot);
  return text;
}

std::string TrimmedText(std::string_view text) {
  // As trimSpaces, without a copy of its own.
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return left16(text.substr(first, text.find_last_not_of(' ') - first + 1), kTextCut);
}

void ReadDocument(const word::Document& doc, KnowledgeSet& dObj) {
  Points points(dObj);
  int32_t sections = 0;
  step([&] { sections = doc.sectionCount(); });
  for (int32_t i = 1; i <= sections; ++i) {
    std::optional<word::Section> section;
    step([&] { section = doc.sections(i); });
    if (!section) continue;
    readHeaderFooter(*section, false, points);
    readHeaderFooter(*section, true, points);
    readPageSetup(*section, points);
  }

  int32_t paragraphs = 0;
  step([&] { paragraphs = doc.paragraphCount(); });
  for (int32_t i = 1; i <= paragraphs; ++i) {
    std::optional<word::Paragraph> p;
    step([&] { p = doc.paragraphs(i); });
    if (p) readParagraph(*p, points);
  }

  int32_t words = 0;
  step([&] { words = doc.wordCount(); });
  for (int32_t i = 1; i <= words; ++i) readWord(doc, i, points);

  int32_t sentences = 0;
  step([&] { sentences = doc.sentenceCount(); });
  for (int32_t i = 1; i <= sentences; ++i)
    step([&] { points.add("文本,", TrimmedText(doc.sentences(i).text())); });
}

void ReadTables(const word::Document& doc, KnowledgeSet& dObj) {
  Points points(dObj);
  int32_t paragraphs = 0;
  step([&] { paragraphs = doc.paragraphCount(); });
  for (int32_t i = 1; i <= paragraphs; ++i) {
    std::optional<word::Range> range;
    step([&] { range = doc.paragraphs(i).range(); });
    if (!range) continue;
    ReadOnce f([&] { return range->font(); });
    ReadOnce c([&] { return range->cells(); });
    step([&] { points.add("文本,", left16(range->text(), kTextCut)); });
    step([&] { points.add("文本对齐,", range->paragraphFormat().alignment); });
    step([&] { points.add("字体名称,", f().name); });
    step([&] { points.add("字体大小,", f().size); });
    step([&] { points.add("字体加粗,", f().bold); });
    step([&] { points.add("字体颜色,", f().colorIndex); });
    // Word refuses the cells of a paragraph outside any table, so these four
    // steps would each fail and add nothing: they are not tried.
    if (!range->withinTable()) continue;
    step([&] { points.add("单元格文本对齐,", c().verticalAlignment); });
    step([&] { points.add("底纹背景色,", c().shading.backgroundPatternColor); });
    step([&] { points.add("底纹前景色,", c().shading.foregroundPatternColor); });
    step([&] { points.add("底纹类型,", c().shading.texture); });
  }

  int32_t tables = 0;
  step([&] { tables = doc.tableCount(); });
  for (int32_t i = 1; i <= tables; ++i) {
    const auto borders = [&] { return doc.tables(i).borders(); };
    step([&] { points.add("外框线型,", borders().outsideLineStyle); });
    step([&] { points.add("外框线宽,", borders().outsideLineWidth); });
    step([&] { points.add("外框颜色,", borders().outsideColorIndex); });
    step([&] { points.add("内框线型,", borders().insideLineStyle); });
    step([&] { points.add("内框线宽,", borders().insideLineWidth); });
    step([&] { points.add("内框颜色,", borders().insideColorIndex); });
  }
}

}  // namespace wordtest

namespace {

// The driver of both extractors: open, read, close. The document is never
// written back: the object model is read-only, which stands for closing
// without saving. A file Word cannot open ends the reading quietly, with
// Word's reason in the reading; a failure after the open keeps the points
// found so far.
template <typename Read>
extract::Reading withDocument(const std::string& cFile, Read&& read) {
  extract::Reading reading;
  std::optional<word::Document> doc;
  try {
    doc.emplace(word::Document::open(winpath::toNative(cFile)));
  } catch (const AutomationError& e) {
    reading.openFailure = e;
    return reading;
  }
  guarded([&] {
    read(*doc, reading.points);
    doc->close();
  });
  return reading;
}

}  // namespace

namespace extract {

Reading readWord(const std::string& cFile) {
  return withDocument(
      cFile, [](const word::Document& doc, KnowledgeSet& d) { wordtest::ReadDocument(doc, d); });
}

Reading readWordTable(const std::string& cFile) {
  return withDocument(
      cFile, [](const word::Document& doc, KnowledgeSet& d) { wordtest::ReadTables(doc, d); });
}

}  // namespace extract

void ReadWord(const std::string& cFile, KnowledgeSet& dObj) {
  extract::addPoints(dObj, std::move(extract::readWord(cFile).points));
}

void ReadWordTable(const std::string& cFile, KnowledgeSet& dObj) {
  extract::addPoints(dObj, std::move(extract::readWordTable(cFile).points));
}

}  // namespace bq
