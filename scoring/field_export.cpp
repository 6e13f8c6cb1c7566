#include "scoring/field_export.h"

#include <future>
#include <memory>
#include <span>
#include <vector>

#include "common/automation_error.h"
#include "common/files.h"
#include "common/winpath.h"
#include "dbmaint/blocks.h"

namespace bq {
namespace {

constexpr int kDigits = 6;
constexpr size_t kWriteSize = 1 << 20;

// The bytes of a GetChunk result; nullopt for Null.
const ByteArray* chunkBytes(const Variant& v) {
  if (v.is<ByteArray>()) return &v.as<ByteArray>();
  return nullptr;
}

[[noreturn]] void damaged(int block, int64_t offset, const std::string& field,
                          const std::string& why) {
  throw AutomationError(err::kInvalidCall, "",
                        "Damaged compressed block " + std::to_string(block) + " at byte offset " +
                            std::to_string(offset) + " of field " + field + ": " + why);
}

// The number that six digit-value bytes stand for, or -1 when a byte is no digit value.
int64_t sixDigits(std::span<const uint8_t> bytes) {
  int64_t n = 0;
  for (uint8_t b : bytes.first(kDigits)) {
    if (b > 9) return -1;
    n = n * 10 + b;
  }
  return n;
}

}  // namespace

bool GetOleData(db::Recordset& rst, const std::string& cFile, const std::string& cFld) {
  db::Field& field = rst.Fields()[cFld];
  // A question file is exported again at every exam preparation: it is
  // replaced whole, but not flushed to disk before the rename.
  AtomicOutput out(winpath::toNative(cFile), AtomicOutput::Durability::kUnflushed);
  // Blocks expand straight into one of two buffers, each written a megabyte
  // at a time on a thread of its own while the other fills; each has room
  // behind the megabyte for the largest block the format allows. A failure
  // to write comes out when its buffer is wanted again, or at the end.
  static constexpr uint8_t kLargest[kDigits] = {9, 9, 9, 9, 9, 9};
  const size_t capacity = kWriteSize + *ExpandBlockRoom(kLargest);
  const std::unique_ptr<uint8_t[]> buffers[2] = {
      std::make_unique_for_overwrite<uint8_t[]>(capacity),
      std::make_unique_for_overwrite<uint8_t[]>(capacity)};
  uint8_t* buffer = buffers[0].get();
  std::future<void> writing;  // of the other buffer; waited for before the buffers go
  auto writeBehind = [&](size_t bytes) {
    if (writing.valid()) writing.get();
    writing = std::async(std::launch::async | std::launch::deferred, [&out, data = buffer, bytes] {
      out.write({data, bytes});
    });
    buffer = buffer == buffers[0].get() ? buffers[1].get() : buffers[0].get();
  };
  size_t pending = 0;
  int64_t offset = 0;
  for (int block = 1;; ++block) {
    Variant head = field.GetChunk(kDigits);
    const ByteArray* z = chunkBytes(head);
    if (!z || z->empty()) break;  // the end of the data
    // A short read after the last whole block means the field was cut: the
    // original stopped silently and handed out a truncated document.
    if (z->size() < kDigits) damaged(block, offset, cFld, "the header is cut short");
    const int64_t length = sixDigits(*z);
    if (length < 0) damaged(block, offset, cFld, "the stream length is not six digits");
    Variant rest = field.GetChunk(length + kDigits);
    const ByteArray* body = chunkBytes(rest);
    if (!body || static_cast<int64_t>(body->size()) < length + kDigits)
      damaged(block, offset, cFld, "the block's data is cut short");
    const int64_t stated = sixDigits(*body);
    if (stated < 0) damaged(block, offset, cFld, "the data length is not six digits");
    const size_t room = *ExpandBlockRoom(*body);
    if (capacity - pending < room) {
      writeBehind(pending);
      pending = 0;
    }
    size_t produced = 0;
    const int rc = ExpandBlockInto(*body, {buffer + pending, room}, produced);
    if (rc != 0 || static_cast<int64_t>(produced) != stated)
      damaged(block, offset, cFld,
              "it does not expand to its " + std::to_string(stated) + " bytes (zlib " +
                  std::to_string(rc) + ")");
    pending += produced;
    if (pending >= kWriteSize) {
      writeBehind(pending);
      pending = 0;
    }
    offset += kDigits + static_cast<int64_t>(body->size());
  }
  if (writing.valid()) writing.get();
  out.write({buffer, pending});
  out.commit();
  return true;
}

}  // namespace bq
