// The background picture of the end-of-test window: a 480 x 300 JPEG with
// "考试结束" and "双击此处关闭" on a quiet gradient. The image file
// webcom/end_of_test.jpg (drawn by make_end_picture.py) is built into the
// library as it stands.
#pragma once

#include <cstdint>
#include <span>

namespace bq {

// The JPEG bytes; static storage, valid for the life of the program.
std::span<const uint8_t> EndOfTestPicture();

}  // namespace bq
