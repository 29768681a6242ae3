# Turns a file into a C++ source defining `std::span<const std::byte> NAME()` over its bytes, so
# the program carries the file and needs nothing at run time.
# Usage: cmake -DINPUT=file -DOUTPUT=file.cpp -DNAME=symbol -DHEADER=header.h -P embed_file.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${INPUT} at build time; do not edit.
#include \"${HEADER}\"

namespace tarnvex {

namespace {
constexpr unsigned char bytes[${size}] = {
    ${bytes}
};
} // namespace

std::span<const std::byte> ${NAME}() { return std::as_bytes(std::span(bytes)); }

} // namespace tarnvex
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
