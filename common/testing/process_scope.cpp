// Linked into every test program (bq_add_test in cmake/bq.cmake): ending
// processes by name reaches only the processes this program started and
// their descendants (shell::endableProcesses), never a developer's own
// LibreOffice or viewer running beside the tests. Programs the test starts
// inherit the scope; a scope set already (by a test program that started
// this one) stays.
#include <stdlib.h>
#include <unistd.h>

#include <string>

namespace {

const bool kProcessScopeSet = [] {
  return ::setenv("BQ_PROCESS_SCOPE", std::to_string(::getpid()).c_str(), 0) == 0;
}();

}  // namespace
