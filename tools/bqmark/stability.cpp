#include "tools/bqmark/stability.h"

#include <cstdlib>
#include <system_error>

#include "common/automation_error.h"
#include "common/files.h"
#include "platform/codec/codec.h"
#include "scoring/answer_files.h"

namespace bq::mark {
namespace {

namespace fs = std::filesystem;

struct Filters {
  std::string_view ooxmlExt, ooxml;    // the kept format
  std::string_view legacyExt, legacy;  // the binary 97 format
};

std::optional<Filters> filtersOf(Kind kind) {
  switch (kind) {
    case Kind::kWordTest:
    case Kind::kWordTable:
      return Filters{"docx", "MS Word 2007 XML", "doc", "MS Word 97"};
    case Kind::kExcel:
      return Filters{"xlsx", "Calc MS Excel 2007 XML", "xls", "MS Excel 97"};
    case Kind::kPowerPoint:
      return Filters{"pptx", "Impress MS PowerPoint 2007 XML", "ppt", "MS PowerPoint 97"};
    default:
      return std::nullopt;
  }
}

// LibreOffice's build as its program folder names it; "" when unknown.
std::string libreOfficeBuild(const fs::path& soffice) {
  std::error_code ec;
  const fs::path program = fs::canonical(soffice, ec).parent_path();
  if (ec) return soffice.string();
  try {
    return readWholeFile(program / "versionrc", ReadLimit{1 << 20, "LibreOffice versionrc"});
  } catch (const AutomationError&) {
    return program.string();
  }
}

}  // namespace

fs::path defaultRoundTripCache() {
  if (const char* c = std::getenv("BQ_ROUNDTRIP_CACHE"); c && *c) return c;
  if (const char* x = std::getenv("XDG_CACHE_HOME"); x && *x == '/')
    return fs::path(x) / "brightquill" / "roundtrips";
  if (const char* h = std::getenv("HOME"); h && *h == '/')
    return fs::path(h) / ".cache" / "brightquill" / "roundtrips";
  return "/tmp/brightquill-roundtrips";
}

RoundTrips::RoundTrips(fs::path cache) : cache_(cache.empty() ? defaultRoundTripCache() : cache) {
  const fs::path soffice = scoring::officeProgram();
  available_ = !soffice.empty();
  if (available_) build_ = libreOfficeBuild(soffice);
}

RoundTrips::~RoundTrips() = default;

std::vector<SavedCopy> RoundTrips::saved(Kind kind, const fs::path& file) {
  std::vector<SavedCopy> out;
  const std::optional<Filters> filters = filtersOf(kind);
  if (!available_ || !filters) return out;
  const std::string bytes = readWholeFile(file, ReadLimit{scoring::kMaxAnswerBytes, "document"});
  // The original is read by content: an OOXML package or a legacy file.
  const bool ooxml = bytes.starts_with("PK");
  const std::string ooxmlFilter(filters->ooxml), legacyFilter(filters->legacy);
  const std::string importFilter = ooxml ? ooxmlFilter : legacyFilter;
  const std::string hash = codec::sha256Hex(bytes);
  std::error_code ec;
  fs::create_directories(cache_, ec);
  for (const bool legacy : {false, true}) {
    SavedCopy copy;
    copy.format = std::string(legacy ? filters->legacyExt : filters->ooxmlExt);
    const std::string key = codec::sha256Hex(hash + "\n" + importFilter + "\n" +
                                             (legacy ? legacyFilter : ooxmlFilter) + "\n" + build_)
                                .substr(0, 32);
    // Every copy is kept as an OOXML package: a legacy one as the readers
    // read it, converted back with the filters they convert a legacy answer with.
    const fs::path cached = cache_ / (key + "." + std::string(filters->ooxmlExt));
    if (fs::is_regular_file(cached, ec)) {
      copy.file = cached;
      out.push_back(std::move(copy));
      continue;
    }
    // The thread's resident LibreOffice, or one of our own for as long as we live.
    if (!scoring::hasResidentOffice()) resident_ = std::make_unique<scoring::ResidentOffice>();
    const scoring::FailureAs failure{err::kPathNotFound, "bqmark", "LibreOffice round trip"};
    try {
      const scoring::PrivateFolder work("bq-roundtrip-", failure);
      // Named as the examinee's file would be, with the content's own extension.
      const fs::path input =
          work.path() / ("answer." + std::string(ooxml ? filters->ooxmlExt : filters->legacyExt));
      fs::copy_file(file, input, ec);
      if (ec) throw AutomationError(err::kFileNotFound, "bqmark", ec.message());
      fs::path output = work.path() / ("saved." + copy.format);
      ++conversions_;
      scoring::convertOnResidentOffice(input, importFilter, output,
                                       legacy ? legacyFilter : ooxmlFilter, failure);
      if (legacy) {
        const fs::path read = work.path() / ("read." + std::string(filters->ooxmlExt));
        ++conversions_;
        scoring::convertOnResidentOffice(output, legacyFilter, read, ooxmlFilter, failure);
        output = read;
      }
      copy.file = keep(output, cached, failure);
    } catch (const AutomationError& e) {
      copy.failure = e.description();
    }
    out.push_back(std::move(copy));
  }
  return out;
}

fs::path RoundTrips::keep(const fs::path& file, const fs::path& cached,
                          const scoring::FailureAs& failure) {
  const std::string saved =
      readWholeFile(file, ReadLimit{scoring::kMaxAnswerBytes, "saved document"});
  try {
    AtomicOutput cache(cached, AtomicOutput::Durability::kUnflushed);
    cache.write(std::span(reinterpret_cast<const uint8_t*>(saved.data()), saved.size()));
    cache.commit();
    return cached;
  } catch (const AutomationError&) {
    // No cache to write to: the copy lives as long as this object.
    if (!scratch_) scratch_ = std::make_unique<scoring::PrivateFolder>("bq-roundtrips-", failure);
    const fs::path copy = scratch_->path() / cached.filename();
    std::error_code ec;
    fs::copy_file(file, copy, fs::copy_options::overwrite_existing, ec);
    if (ec) throw AutomationError(err::kPermissionDenied, "bqmark", ec.message());
    return copy;
  }
}

}  // namespace bq::mark
