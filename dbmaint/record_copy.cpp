#include "dbmaint/record_copy.h"

#include <algorithm>
#include <array>
#include <memory>

#include "common/ansi.h"
#include "common/text.h"
#include "platform/db/types.h"
#include "platform/db/value.h"

namespace bq::dbmaint {
namespace {

// How many bytes the ANSI code page writes for each character of the Basic
// Multilingual Plane, learnt as they come (0: not known yet). Per thread, as
// the code page is; learnt again when the code page changes.
struct AnsiWidths {
  std::string codePage;
  std::unique_ptr<std::array<uint8_t, 0x10000>> widths;
};

// The table of this thread's code page.
std::array<uint8_t, 0x10000>& ansiWidths() {
  thread_local AnsiWidths table;
  const std::string codePage = ansiCodePageName();
  if (!table.widths || table.codePage != codePage) {
    table.widths = std::make_unique<std::array<uint8_t, 0x10000>>();
    table.widths->fill(0);
    table.codePage = codePage;
  }
  return *table.widths;
}

uint8_t ansiWidthOf(std::array<uint8_t, 0x10000>& widths, char32_t c, std::string_view utf8) {
  if (c < 0x80) return 1;
  if (c > 0xFFFF) return 2;  // two UTF-16 code units, whatever the code page makes of it
  uint8_t& w = widths[c];
  if (w == 0) w = toAnsi(utf8).size() >= 2 ? 2 : 1;
  return w;
}

// The length of the UTF-8 sequence that starts with `lead` (1 for a stray byte).
size_t sequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  return 1;
}

char32_t decode(std::string_view s) {
  const auto b = [&](size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(s[i])); };
  switch (s.size()) {
    case 2:
      return (b(0) & 0x1F) << 6 | (b(1) & 0x3F);
    case 3:
      return (b(0) & 0x0F) << 12 | (b(1) & 0x3F) << 6 | (b(2) & 0x3F);
    case 4:
      return (b(0) & 0x07) << 18 | (b(1) & 0x3F) << 12 | (b(2) & 0x3F) << 6 | (b(3) & 0x3F);
    default:
      return b(0) < 0x80 ? b(0) : 0xFFFD;
  }
}

// Copies a long value from S to D in pieces.
void copyInPieces(db::Field& s, db::Field& d) {
  for (;;) {
    Variant piece = s.GetChunk(kLongPieceSize);
    if (piece.isNull()) break;
    d.AppendChunk(piece);
  }
}

}  // namespace

bool IsTextType(int32_t type) { return db::isSizedTextType(type); }

bool IsLongType(int32_t type) { return db::isLongType(type); }

std::string TrimNull(const Variant& value) {
  if (value.isNull() || value.isEmpty()) return {};
  return trimSpaces(db::variantText(value));
}

namespace {

// The count of bytes of `text` that FitTextBytes keeps.
size_t fitLength(std::string_view text, double half) {
  const double budget = 2 * half;
  double used = 0;
  size_t at = 0;
  std::array<uint8_t, 0x10000>* widths = nullptr;
  while (at < text.size()) {
    const size_t n =
        std::min(sequenceLength(static_cast<unsigned char>(text[at])), text.size() - at);
    const std::string_view character = text.substr(at, n);
    const char32_t c = decode(character);
    if (c >= 0x80 && !widths) widths = &ansiWidths();
    const uint8_t width = c < 0x80 ? 1 : ansiWidthOf(*widths, c, character);
    if (used + width > budget) break;
    used += width;
    at += n;
  }
  return at;
}

// Trim(FitTextBytes(TrimNull(value), half)), taken on views of the text.
std::string fittedText(const Variant& value, double half) {
  if (value.isNull() || value.isEmpty()) return {};
  std::string converted;
  std::string_view text;
  if (value.is<std::string>()) {
    text = value.as<std::string>();
  } else {
    converted = db::variantText(value);
    text = converted;
  }
  text = trimSpacesView(text);
  return std::string(trimSpacesView(text.substr(0, fitLength(text, half))));
}

}  // namespace

std::string FitTextBytes(std::string_view text, double half) {
  return std::string(text.substr(0, fitLength(text, half)));
}

bool CopyRecord(db::Recordset& source, db::Recordset& destination, AutomationError* failure) {
  return RecordCopier(source, destination).copy(failure);
}

void RecordCopier::plan() {
  const int32_t m = std::min(source_.Fields().Count(), destination_.Fields().Count());
  steps_.clear();
  for (int32_t j = 0; j < m; ++j) {
    Step k{&source_.Fields()[j], &destination_.Fields()[j], Way::kSkip, 0, j};
    steps_.push_back(k);
    // Fields are matched by position and copied only under the same name.
    if (k.d->Name() != k.s->Name()) continue;
    const int32_t sType = k.s->Type(), dType = k.d->Type();
    if (sType == db::adBinary || dType == db::adBinary) continue;
    if (IsLongType(sType)) {
      k.way = Way::kLong;
    } else if (dType == db::adInteger && IsTextType(sType)) {
      k.way = Way::kLeadingNumber;
    } else if (IsTextType(dType)) {
      k.way = Way::kText;
      k.half = k.d->DefinedSize() / 2.0;
    } else {
      k.way = Way::kValue;
    }
    steps_.back() = k;
  }
  planned_ = true;
}

void RecordCopier::setStep(const Step& k, const Variant& value) {
  switch (k.way) {
    case Way::kLong:
      if (k.s->ActualSize() > kLongPieceSize)
        copyInPieces(*k.s, *k.d);
      else
        k.d->setValue(value);
      break;
    case Way::kLeadingNumber:
      k.d->setValue(leadingNumber(db::variantText(value)));
      break;
    case Way::kText:
      k.d->setValue(fittedText(value, k.half));
      break;
    default:
      k.d->setValue(value);
      break;
  }
}

bool RecordCopier::copy(AutomationError* failure) {
  return guarded(
      [&] {
        if (source_.Bof() || source_.Eof()) return;
        if (!planned_) plan();
        destination_.AddNew();
        for (const Step& k : steps_) {
          if (k.way == Way::kSkip) continue;
          const Variant value = k.s->Value();
          if (value.isNull()) continue;  // the destination keeps its default
          setStep(k, value);
        }
        destination_.Update();
      },
      failure);
}

std::vector<int32_t> RecordCopier::sourceFields() {
  if (!planned_) plan();
  std::vector<int32_t> fields;
  for (const Step& k : steps_)
    if (k.way != Way::kSkip) fields.push_back(k.index);
  return fields;
}

bool RecordCopier::copyValues(std::span<const Variant> values, AutomationError* failure) {
  return guarded(
      [&] {
        destination_.AddNew();
        size_t i = 0;
        for (const Step& k : steps_) {
          if (k.way == Way::kSkip) continue;
          const Variant& value = values[i++];
          if (value.isNull()) continue;  // the destination keeps its default
          if (k.way == Way::kLong && value.is<ByteArray>() &&
              value.as<ByteArray>().size() > static_cast<size_t>(kLongPieceSize)) {
            const ByteArray& bytes = value.as<ByteArray>();
            for (size_t at = 0; at < bytes.size(); at += kLongPieceSize) {
              const size_t n = std::min(bytes.size() - at, static_cast<size_t>(kLongPieceSize));
              k.d->AppendChunk(
                  Variant(ByteArray(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                    bytes.begin() + static_cast<std::ptrdiff_t>(at + n))));
            }
          } else if (k.way == Way::kLong) {
            k.d->setValue(value);
          } else {
            setStep(k, value);
          }
        }
        destination_.Update();
      },
      failure);
}

}  // namespace bq::dbmaint
