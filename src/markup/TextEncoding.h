#pragma once

// Document files and text encodings: whole-file reading and writing of UTF-16 document texts in
// the encoding a file carries (byte-order mark, XML declaration, HTML meta tag, UTF-8 test), code
// page names, and conversions over iconv. Every function may be called from any thread.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace markup {

// CodePageOf's answer for a name that is not in the alias table (callers treat it as code page 0).
constexpr int UnknownCodePage = -1;
// Code page number that stands for UTF-32, converted by TextConverter itself.
constexpr int Utf32CodePage = 65005;

// Reads a whole file into text (cleared first). result gets the notes; flags get the mark found.
// False on a file error (text empty, flags unchanged).
[[nodiscard]] bool LoadFile(const std::filesystem::path& path,
                            std::u16string& text,
                            std::u16string* result = nullptr,
                            std::uint32_t* flags = nullptr);
// Writes text atomically (temporary file in the same folder, flushed, renamed over path) in the
// encoding of the mark flags, else the declared encoding, else UTF-8. On failure the old file stays.
[[nodiscard]] bool SaveFile(std::uint32_t* flags,
                            std::u16string_view text,
                            const std::filesystem::path& path,
                            std::u16string* result = nullptr);
// Encoding named by an XML declaration at offset 0 or an HTML meta Content-Type tag; empty when none.
[[nodiscard]] std::u16string GetDeclaredEncoding(std::u16string_view text);
// Windows code page of an encoding name: 0 for an empty name, UnknownCodePage when not known.
[[nodiscard]] int CodePageOf(std::u16string_view encoding);
// iconv name used for a code page; code page 0 (and unknown) is read as GBK (CP936). Empty when none.
[[nodiscard]] const char* IconvNameOf(int codePage);

// One conversion between two encodings (names as CodePageOf takes them; "UTF-16" is char16_t text).
// Units: char16_t for UTF-16, char32_t for UTF-32, bytes otherwise.
class TextConverter
{
public:
    TextConverter(std::u16string_view fromEncoding, std::u16string_view toEncoding);
    // Target units the source gives (no output written).
    [[nodiscard]] std::size_t Count(const void* source, std::size_t sourceUnits);
    // Converts into target (room for targetUnits); returns the units written.
    std::size_t Convert(const void* source, std::size_t sourceUnits, void* target, std::size_t targetUnits);
    // True when the last conversion met a character the target code page cannot hold.
    [[nodiscard]] bool Lost() const { return m_lost; }
    // Code pages after CodePageOf (unknown taken as 0).
    [[nodiscard]] int FromCodePage() const { return m_from; }
    [[nodiscard]] int ToCodePage() const { return m_to; }

private:
    std::size_t Run(const void* source, std::size_t sourceUnits, void* target, std::size_t targetUnits);

    int m_from = 0;
    int m_to = 0;
    bool m_lost = false;
};

} // namespace markup
