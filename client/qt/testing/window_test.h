// Test helpers for the programs that show the exam window in the real web
// engine: the Qt application they share, and a program folder made from the
// built demo one.
#pragma once

#include <errno.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <filesystem>
#include <span>

#include "client/qt/web_engine_setup.h"

namespace bq::client::testing {

// A test suite with the program's one Qt application, made (with the web
// engine's settings) before its first test and deleted after its last: the
// web engine shuts down with the application object, and a process that ends
// with it still alive leaves the engine's threads running while the
// program's static objects are destroyed.
class WindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (QApplication::instance() != nullptr) return;
    static int argc = 1;
    static char* argv[] = {program_invocation_short_name, nullptr};
    prepareWebEngine();
    new QApplication(argc, argv);
  }
  static void TearDownTestSuite() { delete QApplication::instance(); }
};

// Copies the files `names` and the pictures of the demo program folder
// `demo` into the new folder `to`.
inline void copyProgramFolder(const std::filesystem::path& demo, const std::filesystem::path& to,
                              std::span<const char* const> names) {
  namespace fs = std::filesystem;
  fs::create_directories(to / "images");
  for (const char* name : names) fs::copy_file(demo / name, to / name);
  fs::copy(demo / "images", to / "images", fs::copy_options::recursive);
}

}  // namespace bq::client::testing
