#include "platform/Cp936.h"

#include <cerrno>

#include <iconv.h>

namespace platform {

std::optional<std::string> Cp936ToUtf8(std::string_view text)
{
    iconv_t cd = iconv_open("UTF-8", "CP936");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::string out;
    out.resize(text.size() * 3 + 4); // a GBK character never takes more than three UTF-8 bytes per input byte
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    std::size_t done = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    bool ok = done != static_cast<std::size_t>(-1) && inLeft == 0;
    if (ok) {
        ok = iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<std::size_t>(-1);
    }
    iconv_close(cd);
    if (!ok) {
        return std::nullopt;
    }
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace platform
