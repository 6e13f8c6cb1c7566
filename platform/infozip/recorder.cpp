#include "platform/infozip/recorder.h"

namespace bq::infozip {
namespace {

Recorder::Text copy(const char* text) {
  return text ? Recorder::Text(text) : std::nullopt;
}

// The interface's lists always hold kNameListSize pointers.
Recorder::NameList copyList(const char* const* list) {
  Recorder::NameList out;
  if (!list) return out;
  for (int i = 0; i < kNameListSize; ++i) out[i] = copy(list[i]);
  return out;
}

}  // namespace

Recorder::Record& Recorder::begin(Call call) {
  if (auto it = failures_.find(call); it != failures_.end()) throw it->second;
  Record r;
  r.call = call;
  calls_.push_back(std::move(r));
  return calls_.back();
}

int32_t Recorder::resultOf(Call call, int32_t byDefault) const {
  auto it = results_.find(call);
  return it == results_.end() ? byDefault : it->second;
}

int32_t Recorder::ZpInit(const ZipUserFunctions& functions) {
  begin(Call::kZpInit).zipFunctions = functions;
  registered_ = functions;
  return resultOf(Call::kZpInit, 1);
}

int32_t Recorder::ZpSetOptions(const ZipOptions& options) {
  Record& r = begin(Call::kZpSetOptions);
  r.zipOptions = options;
  r.zipOptions.Date = nullptr;
  r.zipOptions.szRootDir = nullptr;
  r.date = copy(options.Date);
  r.rootDir = copy(options.szRootDir);
  return resultOf(Call::kZpSetOptions, 1);
}

int32_t Recorder::ZpArchive(int32_t argc, const char* zipName, const ZipNames& names) {
  Record& r = begin(Call::kZpArchive);
  r.argc = argc;
  r.zipName = copy(zipName);
  r.names = copyList(names.s);
  while (!zipActions_.empty()) {
    auto action = std::move(zipActions_.front());
    zipActions_.pop_front();
    action(registered_);
  }
  return resultOf(Call::kZpArchive, 0);
}

int32_t Recorder::UzpVersion2(UnzipVersion& version) {
  begin(Call::kUzpVersion2).version = version;
  return resultOf(Call::kUzpVersion2, 0);
}

int32_t Recorder::Wiz_SingleEntryUnzip(int32_t includeCount, const char* const* include,
                                       int32_t excludeCount, const char* const* exclude,
                                       const UnzipOptions& options,
                                       UnzipUserFunctions& functions) {
  Record& r = begin(Call::kWizSingleEntryUnzip);
  r.includeCount = includeCount;
  r.excludeCount = excludeCount;
  r.include = copyList(include);
  r.exclude = copyList(exclude);
  r.unzipOptions = options;
  r.unzipOptions.lpszZipFN = nullptr;
  r.unzipOptions.lpszExtractDir = nullptr;
  r.unzipZipName = copy(options.lpszZipFN);
  r.extractDir = copy(options.lpszExtractDir);
  r.unzipFunctions = functions;
  while (!unzipActions_.empty()) {
    auto action = std::move(unzipActions_.front());
    unzipActions_.pop_front();
    action(functions);
  }
  return resultOf(Call::kWizSingleEntryUnzip, 0);
}

}  // namespace bq::infozip
