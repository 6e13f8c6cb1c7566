// The sealed-database reader on arbitrary bytes.
//
// Any byte string must give either an image or an AutomationError, never
// partial data: an image handed out must be exactly what was sealed. The
// inputs that the seeds hold are sealed with small Argon2 parameters; the
// limits below keep every other input from costing more.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>
#include <vector>

#include "common/automation_error.h"
#include "platform/db/sealed.h"

namespace {

constexpr std::string_view kPassword = "KVRMTX5830";

bq::db::UnsealLimits tightLimits() {
  bq::db::UnsealLimits l;
  l.maxOpsLimit = 2;
  l.maxMemLimit = 64 * 1024;
  l.maxImageSize = 16u << 20;
  return l;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  try {
    std::vector<uint8_t> image = bq::db::unsealImage(input, kPassword, tightLimits());
    // A sound file: sealing its image again and opening that must give it back.
    bq::db::SealParams small;
    small.opsLimit = 1;
    small.memLimit = 8192;
    small.chunkSize = 64;
    std::vector<uint8_t> again =
        bq::db::unsealImage(bq::db::sealImage(image, kPassword, small), kPassword, tightLimits());
    if (again != image) std::abort();
  } catch (const bq::AutomationError&) {
    // refused: the expected answer to almost every input
  }
  return 0;
}
