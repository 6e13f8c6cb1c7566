// The team's corpus of real-world files: Office documents and e-mail messages
// made by other programs (its README.md and MANIFEST.tsv say where each one
// comes from). It lives outside the repository: the folder named by
// BQ_CORPUS, else the shared folder beside the source tree
// (../shared/corpus).
//
// Tests over it are built with bq_add_corpus_test (cmake/bq.cmake), whose
// main() (corpus_main.cpp) looks for the folder before any test runs. When
// it is absent the whole program is skipped with one line on standard output
// and exit code 77, which CTest counts as skipped; under CI (CI=true) an
// absent corpus fails instead, so a CI machine never passes without it.
// Tests that check the project's own behaviour never read the corpus: their
// files live in the repository.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace bq::testing {

// The corpus folder, as found by the corpus tests' main(); an existing folder
// while any test runs.
const std::filesystem::path& corpusFolder();

// The regular files of the sub-folder `kind` ("docx", "legacy" ...), sorted
// by name; none when the sub-folder is absent.
std::vector<std::filesystem::path> corpusFiles(const std::string& kind);

}  // namespace bq::testing
