// The LibreOffice program the conversions run, and the private folders
// they run in (legacy_conversion.h, resident_converter.h).
//
// Thread safety: all functions may be called from any thread; each
// TempFolder belongs to its owner.
#pragma once

#include <filesystem>
#include <string_view>

#include "platform/office/shared/failure.h"

namespace bq::office {

// The LibreOffice program: $BQ_SOFFICE when set and not empty, else
// "soffice" looked up in $PATH, else /usr/lib/libreoffice/program/soffice
// when present; empty when there is none.
std::filesystem::path findSoffice();

// A private (0700) folder under the system's temporary folder ($TMPDIR, else
// /tmp), removed with everything in it when the object is destroyed.
class TempFolder {
 public:
  // Throws through `failure` when the folder cannot be made.
  TempFolder(std::string_view prefix, const Failure& failure);
  TempFolder(TempFolder&& other) noexcept;
  TempFolder& operator=(TempFolder&&) = delete;
  TempFolder(const TempFolder&) = delete;
  ~TempFolder();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace bq::office
