#pragma once

// Conversions between the program's narrow texts (UTF-8) and UTF-16.

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Decodes one UTF-8 sequence at text[pos] (pos < text.size()) and moves pos past it. A bad sequence
// (overlong, surrogate, above U+10FFFF, cut short) consumes its lead byte only, gives U+FFFD and
// clears ok. Inline: the text decoders of several modules run it once per character.
inline char32_t DecodeUtf8(std::string_view text, std::size_t& pos, bool& ok)
{
    constexpr char32_t Replacement = 0xFFFD;
    const auto lead = static_cast<unsigned char>(text[pos]);
    ok = true;
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        cp = lead & 0x1F;
        min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        cp = lead & 0x0F;
        min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        cp = lead & 0x07;
        min = 0x10000;
    } else {
        ok = false;
        ++pos;
        return Replacement;
    }
    if (text.size() - pos <= static_cast<std::size_t>(extra)) {
        ok = false;
        ++pos;
        return Replacement;
    }
    for (int i = 1; i <= extra; ++i) {
        const auto c = static_cast<unsigned char>(text[pos + i]);
        if ((c & 0xC0) != 0x80) {
            ok = false;
            ++pos;
            return Replacement;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ok = false;
        ++pos;
        return Replacement;
    }
    pos += extra + 1;
    return cp;
}

// Invalid or truncated sequences become U+FFFD each; never fails.
std::u16string Utf8ToUtf16(std::string_view text);
// Unpaired surrogates become U+FFFD; never fails.
std::string Utf16ToUtf8(std::u16string_view text);
// True when every sequence is complete, shortest-form, and not a surrogate or above U+10FFFF.
bool IsValidUtf8(std::string_view text);

} // namespace platform
