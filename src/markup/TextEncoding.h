#pragma once

// Document files and text encodings: whole-file reading and writing of UTF-16 document texts in
// the encoding a file carries (byte-order mark, XML declaration, HTML meta tag, UTF-8 test), code
// page names, and conversions over iconv. Every function may be called from any thread.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace markup {

// CodePageOf's answer for a name that is not in the alias table (callers treat it as code page 0).
constexpr int UnknownCodePage = -1;
// Code page number that stands for UTF-32, converted by TextConverter itself.
constexpr int Utf32CodePage = 65005;

// How the bytes of a file became its text.
struct FileLayout
{
    std::size_t offset = 0;  // bytes of the byte-order mark
    std::size_t unit = 1;    // bytes per unit: 2 for UTF-16 (after a mark), else 1
    bool bigEndian = false;  // UTF-16 big-endian
    std::u16string encoding; // what 8-bit bytes were decoded from ("" is code page 0)
    bool tested = false;     // no mark or declaration said it: the UTF-8 test decided
};

// One change of a text: oldLength units at pos replaced.
struct TextEdit
{
    std::size_t pos = 0;
    std::size_t oldLength = 0;
    std::u16string replacement;
};

// Reads a whole file into text (cleared first). result gets the notes; flags get the mark found.
// A file without mark or declaration is UTF-8 when it is valid UTF-8 (a first byte "<" says so
// without the detection note), else code page 936. False on a file error (text empty, flags
// unchanged).
[[nodiscard]] bool LoadFile(const std::filesystem::path& path,
                            std::u16string& text,
                            std::u16string* result = nullptr,
                            std::uint32_t* flags = nullptr);
// The bytes of a whole file as they are, with LoadFile's "file_error" note on failure.
[[nodiscard]] bool
ReadFileBytes(const std::filesystem::path& path, std::string& bytes, std::u16string* result = nullptr);
// Decodes the bytes of a whole file exactly as LoadFile reads them (same notes and mark flags),
// and tells how in layout (when not null).
void DecodeFileBytes(std::string_view bytes,
                     std::u16string& text,
                     std::u16string* result = nullptr,
                     std::uint32_t* flags = nullptr,
                     FileLayout* layout = nullptr);
// The file's bytes with the edits of its decoded text made in them, every other byte as it was,
// whatever the decoding lost. Each edit must begin and end at or just after a "<" or ">" of the
// text, or at a "/" just before a ">", and replace ASCII only (edits in text order, apart). Nothing
// when the edits cannot be placed in the bytes with certainty (then the file must stay as it is).
[[nodiscard]] std::optional<std::string> SpliceFileBytes(std::string_view bytes,
                                                         const FileLayout& layout,
                                                         std::u16string_view text,
                                                         std::span<const TextEdit> edits);
// Writes bytes atomically: a temporary file in the same folder (".<name>.tmp<pid>-<n>-<r>") with the
// old file's permission bits, flushed and renamed over path. A file that exists but may not be
// written (read-only) is not replaced. On failure the old file stays and result gets "file_error".
[[nodiscard]] bool
WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes, std::u16string* result = nullptr);
// Removes what saves killed before their rename left in folder: regular files named as
// WriteFileAtomically names its temporary files for one of the names given, except this process's
// own. Returns how many were removed.
std::size_t RemoveStaleTemporaries(const std::filesystem::path& folder, std::initializer_list<std::string_view> names);
// Writes text atomically (WriteFileAtomically) in the encoding of the mark flags, else the declared
// encoding, else UTF-8. On failure the old file stays.
[[nodiscard]] bool SaveFile(std::uint32_t* flags,
                            std::u16string_view text,
                            const std::filesystem::path& path,
                            std::u16string* result = nullptr);
// Encoding named by an XML declaration at offset 0 or an HTML meta Content-Type tag, unescaped;
// empty when none.
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
