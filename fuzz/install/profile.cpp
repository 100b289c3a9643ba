// The profile reader on arbitrary text: no crash, and a value from UTF-8 text never exceeds its limit.

#include "platform/Profile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/Utf.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string value = platform::ProfileStringFromText(text, "config", "file", "", 8);
    if (platform::IsValidUtf8(text)
        && platform::Utf8ToUtf16(value).size() > 16) { // 8 code points, each at most two UTF-16 units
        std::abort();
    }
    return 0;
}
