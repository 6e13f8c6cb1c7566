// The parse floor of an Office file: what any reader of it pays before it
// reads a single value. The file is read into memory and opened with libzip
// (the zip library of our package layer), the parts a model reads are
// inflated with libdeflate (our fastest inflater, taken on the raw data as
// the package layer takes it) and each is parsed with pugixml into a tree,
// with the options of our own parser; nothing is checked (no CRC, no bound)
// and nothing is read from the trees.
//
// The parts are those the model itself read from the same file, as the
// package layer's PartReadLog records them (partsReadBy), so the floor
// parses what the reader parses, no more and no fewer.
#pragma once

#include <libdeflate.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <pugixml.hpp>
#include <string>
#include <utility>
#include <vector>

#include "bench/timing.h"
#include "common/dictionary.h"
#include "platform/office/opc/package.h"

namespace bqbench {

// The zip entries `read` has the package layer read, in order.
inline std::vector<std::string> partsReadBy(const std::function<void()>& read) {
  bq::office::PartReadLog log;
  read();
  return log.entries();
}

// Opens `file` and parses its entries `entries`; returns how many it
// parsed, and exits naming the entry when one cannot be read or parsed (the
// file is one the model has just read).
inline size_t parseFloor(const std::string& file, const std::vector<std::string>& entries) {
  auto fail = [&](const std::string& what) {
    std::fprintf(stderr, "parse floor of %s: %s\n", file.c_str(), what.c_str());
    std::exit(1);
  };
  std::ifstream in(file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  zip_t* za = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
  if (!za) {
    if (source) zip_source_free(source);
    fail(zip_error_strerror(&error));
  }
  std::unique_ptr<zip_t, void (*)(zip_t*)> archive(za, [](zip_t* z) { zip_discard(z); });
  std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> inflater(
      libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
  size_t parsed = 0;
  for (const std::string& name : entries) {
    const zip_int64_t index = zip_name_locate(za, name.c_str(), 0);
    zip_stat_t st;
    if (index < 0 || zip_stat_index(za, static_cast<zip_uint64_t>(index), 0, &st) != 0)
      fail("no entry " + name);
    zip_file_t* f = zip_fopen_index(za, static_cast<zip_uint64_t>(index), ZIP_FL_COMPRESSED);
    if (!f) fail("cannot open " + name);
    std::string raw(st.comp_size, '\0');
    const zip_int64_t got = zip_fread(f, raw.data(), raw.size());
    zip_fclose(f);
    if (got != static_cast<zip_int64_t>(raw.size())) fail("cannot read " + name);
    std::string text;
    if (st.comp_method == ZIP_CM_STORE) {
      text = std::move(raw);
    } else {
      text.resize(st.size);
      if (libdeflate_deflate_decompress(inflater.get(), raw.data(), raw.size(), text.data(),
                                        text.size(), nullptr) != LIBDEFLATE_SUCCESS)
        fail("cannot inflate " + name);
    }
    pugi::xml_document doc;
    if (!doc.load_buffer_inplace(text.data(), text.size(),
                                 pugi::parse_default | pugi::parse_ws_pcdata_single,
                                 pugi::encoding_utf8))
      fail("cannot parse " + name);
    ++parsed;
  }
  return parsed;
}

// The best of `runs` calls each of `read` (the reader) and of `floor`,
// taken in turns, so that both see the same load of the machine and their
// ratio holds when other work slows the run. Each returns what it found.
template <typename Read, typename Floor>
std::pair<Timing, Timing> bestOfInTurns(int runs, Read&& read, Floor&& floor) {
  std::pair<Timing, Timing> best;
  auto time = [](Timing& t, auto&& fn) {
    const auto t0 = std::chrono::steady_clock::now();
    const size_t count = fn();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
    t.seconds = std::min(t.seconds, took.count());
    t.count = count;
  };
  for (int i = 0; i < runs; ++i) {
    time(best.first, read);
    time(best.second, floor);
  }
  return best;
}

// The best times, taken in turns, of the reader `read` (called as
// read(file, set)) on `file` and of the parse floor of the parts it reads;
// the reader's count is the knowledge points it found.
template <typename Read>
std::pair<Timing, Timing> readerAgainstFloor(const std::string& file, int runs, Read&& read) {
  const std::vector<std::string> parts = partsReadBy([&] {
    bq::KnowledgeSet set;
    read(file, set);
  });
  return bestOfInTurns(
      runs,
      [&] {
        bq::KnowledgeSet set;
        read(file, set);
        return set.Count();
      },
      [&] { return parseFloor(file, parts); });
}

}  // namespace bqbench
