# Writes OUTPUT, a C++ source that defines `std::span<const uint8_t> FUNCTION()`
# in namespace bq, returning the bytes of INPUT.
#   cmake -DINPUT=file -DOUTPUT=file.cpp -DFUNCTION=name -DHEADER=path/of/header.h -P embed_file.cmake
foreach(var INPUT OUTPUT FUNCTION HEADER)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "embed_file.cmake: ${var} is not set")
  endif()
endforeach()

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexLength)
if(hexLength EQUAL 0)
  message(FATAL_ERROR "embed_file.cmake: ${INPUT} is empty")
endif()
# Sixteen bytes to a line.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
set(sixteen "")
foreach(i RANGE 15)
  string(APPEND sixteen "0x..,")
endforeach()
string(REGEX REPLACE "(${sixteen})" "\\1\n    " bytes "${bytes}")
get_filename_component(name "${INPUT}" NAME)

file(WRITE "${OUTPUT}"
"// Generated from ${name} by embed_file.cmake; do not edit.
#include \"${HEADER}\"

namespace bq {
namespace {

constexpr uint8_t kBytes[] = {
    ${bytes}
};

}  // namespace

std::span<const uint8_t> ${FUNCTION}() { return kBytes; }

}  // namespace bq
")
