#include "platform/Profile.h"

#include <fstream>

#include "platform/Cp936.h"
#include "platform/Utf.h"

namespace platform {
namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// At most maxChars code points of a UTF-8 text, never cutting a sequence in two.
std::string CutToChars(std::string_view text, std::size_t maxChars)
{
    std::size_t chars = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (chars == maxChars) {
            break;
        }
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) {
            ++i;
        }
        ++chars;
    }
    return std::string(text.substr(0, i));
}

std::string Utf16BytesToUtf8(std::string_view bytes, bool bigEndian)
{
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        auto b0 = static_cast<unsigned char>(bytes[i]);
        auto b1 = static_cast<unsigned char>(bytes[i + 1]);
        units.push_back(static_cast<char16_t>(bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0));
    }
    return Utf16ToUtf8(units);
}

std::string DecodeProfileBytes(std::string bytes)
{
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        return Utf16BytesToUtf8(std::string_view(bytes).substr(2), false);
    }
    if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
        return Utf16BytesToUtf8(std::string_view(bytes).substr(2), true);
    }
    if (IsValidUtf8(bytes)) {
        return bytes;
    }
    if (auto decoded = Cp936ToUtf8(bytes)) {
        return *decoded;
    }
    return Utf16ToUtf8(Utf8ToUtf16(bytes)); // neither: keep what can be kept
}

} // namespace

std::string ProfileStringFromText(std::string_view text,
                                  std::string_view section,
                                  std::string_view key,
                                  std::string_view defaultValue,
                                  std::size_t maxChars)
{
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    section = Trim(section);
    key = Trim(key);
    bool inSection = false;
    bool sectionSeen = false;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == ';') {
            continue;
        }
        if (line.front() == '[') {
            if (sectionSeen) {
                break; // only the first section of that name counts
            }
            std::string_view name = line.substr(1);
            name = Trim(name.substr(0, name.find(']')));
            inSection = EqualsNoCase(name, section);
            sectionSeen = inSection;
            continue;
        }
        if (!inSection) {
            continue;
        }
        std::size_t equals = line.find('=');
        std::string_view name = Trim(line.substr(0, equals));
        if (!EqualsNoCase(name, key)) {
            continue;
        }
        std::string_view value = equals == std::string_view::npos ? std::string_view() : Trim(line.substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
            value = value.substr(1, value.size() - 2);
        }
        return CutToChars(value, maxChars);
    }
    return CutToChars(defaultValue, maxChars);
}

std::string GetProfileString(const std::filesystem::path& file,
                             std::string_view section,
                             std::string_view key,
                             std::string_view defaultValue,
                             std::size_t maxChars)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return CutToChars(defaultValue, maxChars);
    }
    // A configuration file is a few lines; a huge one is read only as far as any sane one goes.
    constexpr std::streamsize ReadLimit = 1 << 20;
    std::string bytes(static_cast<std::size_t>(ReadLimit), '\0');
    in.read(bytes.data(), ReadLimit);
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
        return CutToChars(defaultValue, maxChars);
    }
    return ProfileStringFromText(DecodeProfileBytes(std::move(bytes)), section, key, defaultValue, maxChars);
}

} // namespace platform
