// The fuzzers' way of reaching the XML readers through a package: the input
// is cut at NUL bytes into pieces, and the pieces become the parts named
// `names` (in order, stored uncompressed) of a zip made in memory.
#pragma once

#include <zip.h>

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace bqfuzz {

// The zip of the pieces of `text`, or empty when libzip fails; `pieces`
// receives the pieces (at most names.size()).
inline std::string zipPieces(std::string_view text, std::span<const char* const> names,
                             std::vector<std::string>& pieces) {
  size_t from = 0;
  while (from <= text.size() && pieces.size() < names.size()) {
    size_t to = text.find('\0', from);
    if (to == std::string_view::npos) to = text.size();
    pieces.emplace_back(text.substr(from, to - from));
    from = to + 1;
  }
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* out = zip_source_buffer_create(nullptr, 0, 0, &error);
  zip_error_fini(&error);
  if (!out) return {};
  zip_source_keep(out);
  zip_t* za = zip_open_from_source(out, ZIP_TRUNCATE, nullptr);
  if (!za) {
    zip_source_free(out);  // the reference zip_open_from_source did not take
    zip_source_free(out);  // and the one kept
    return {};
  }
  for (size_t i = 0; i < pieces.size(); ++i) {
    zip_source_t* src = zip_source_buffer(za, pieces[i].data(), pieces[i].size(), 0);
    zip_int64_t index = src ? zip_file_add(za, names[i], src, ZIP_FL_OVERWRITE) : -1;
    if (index < 0) {
      if (src) zip_source_free(src);
      continue;
    }
    zip_set_file_compression(za, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
  }
  std::string bytes;
  if (zip_close(za) != 0) {
    zip_discard(za);
  } else if (zip_source_open(out) == 0) {
    char buffer[4096];
    zip_int64_t n;
    while ((n = zip_source_read(out, buffer, sizeof buffer)) > 0) bytes.append(buffer, n);
    zip_source_close(out);
  }
  zip_source_free(out);
  return bytes;
}

// The package a fuzz input stands for: the input as it is when it is a zip
// file ("PK"), else the zip of its pieces as zipPieces makes it.
inline std::string packageOf(std::string_view input, std::span<const char* const> names,
                             std::vector<std::string>& pieces) {
  return input.starts_with("PK") ? std::string(input) : zipPieces(input, names, pieces);
}

}  // namespace bqfuzz
