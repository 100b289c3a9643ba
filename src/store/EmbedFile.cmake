# Writes a C++ source that holds the bytes of a file:  cmake -DINPUT=file -DOUTPUT=source.cpp
#   -DNAMESPACE=ns -DFUNCTION=Name -P EmbedFile.cmake
# The source defines  std::string_view ns::Name()  returning exactly the file's bytes.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR length "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
get_filename_component(name "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
"// Generated from ${name} at build time; do not edit.
#include <string_view>

namespace ${NAMESPACE} {
namespace {
// One extra zero byte so that an empty file still gives a valid array.
const unsigned char Bytes[${length} + 1] = {
    ${bytes}0x00};
} // namespace

std::string_view ${FUNCTION}()
{
    return std::string_view(reinterpret_cast<const char*>(Bytes), ${length});
}

} // namespace ${NAMESPACE}
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
