#include "common/ansi.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include "common/automation_error.h"

namespace bq {
namespace {

std::string codePageFromEnvironment() {
  const char* env = std::getenv("BQ_ANSI_CODEPAGE");
  std::string name = env && *env ? env : "936";
  if (name.find_first_not_of("0123456789") == std::string::npos) {
    if (name == "65001") return "UTF-8";
    if (name == "1200") return "UTF-16LE";
    return "CP" + name;
  }
  return name;
}

// One iconv descriptor, owned.
class Converter {
 public:
  Converter(const std::string& to, const std::string& from)
      : cd_(iconv_open(to.c_str(), from.c_str())) {
    if (cd_ == reinterpret_cast<iconv_t>(-1))
      throw AutomationError(err::kInvalidCall, "", "Unknown ANSI code page: " + from + " / " + to);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  ~Converter() { iconv_close(cd_); }

  // Converts `in`; on an input sequence that cannot be converted, writes "?"
  // and skips `skipUnit(p, left)` bytes of input.
  template <typename Skip>
  std::string convert(std::string_view in, Skip skipUnit) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // reset shift state
    std::string out;
    out.resize(in.size() * 2 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    size_t used = 0;
    while (srcLeft > 0) {
      char* dst = out.data() + used;
      size_t dstLeft = out.size() - used;
      size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      used = out.size() - dstLeft;
      if (rc != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) {
        out.resize(out.size() * 2);
        continue;
      }
      // EILSEQ or EINVAL (truncated sequence at the end): replace and go on.
      if (out.size() - used < 1) out.resize(out.size() * 2);
      out[used++] = '?';
      size_t skip = std::min(srcLeft, skipUnit(src, srcLeft));
      src += skip;
      srcLeft -= skip;
    }
    out.resize(used);
    return out;
  }

 private:
  iconv_t cd_;
};

struct ThreadCodec {
  std::string name = codePageFromEnvironment();
  Converter encoder{name, "UTF-8"};
  Converter decoder{"UTF-8", name};
};

ThreadCodec& codec() {
  thread_local ThreadCodec c;
  return c;
}

size_t utf8SequenceLength(const char* p, size_t left) {
  auto c = static_cast<unsigned char>(*p);
  size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  // Do not swallow a following character when the sequence is broken.
  for (size_t i = 1; i < n; ++i) {
    if (i >= left || (static_cast<unsigned char>(p[i]) & 0xC0) != 0x80) return i;
  }
  return n;
}

}  // namespace

std::string toAnsi(std::string_view utf8) {
  return codec().encoder.convert(utf8, utf8SequenceLength);
}

std::string fromAnsi(std::string_view bytes) {
  return codec().decoder.convert(bytes, [](const char*, size_t) -> size_t { return 1; });
}

std::string ansiCodePageName() { return codec().name; }

}  // namespace bq
