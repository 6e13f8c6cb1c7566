// A private drives folder for the client core's tests: BQ_DRIVES points at
// a temporary folder for the object's life, so that C:\BQTEST and
// C:\BqOperation land there.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/db/testing/db_test_support.h"

namespace bq::client::testsupport {

// Points BQ_DRIVES at a private folder for the test's life.
class PrivateDrives {
 public:
  PrivateDrives() {
    if (const char* old = std::getenv("BQ_DRIVES")) old_ = old;
    setenv("BQ_DRIVES", (folder_ / "drives").c_str(), 1);
  }
  ~PrivateDrives() {
    if (old_)
      setenv("BQ_DRIVES", old_->c_str(), 1);
    else
      unsetenv("BQ_DRIVES");
  }
  std::filesystem::path drive(const std::string& letter) const { return folder_ / "drives" / letter; }
  const std::filesystem::path& root() const { return folder_.path(); }

 private:
  db::dbtest::TempFolder folder_;
  std::optional<std::string> old_;
};

}  // namespace bq::client::testsupport
