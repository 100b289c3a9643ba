#pragma once

// Names of zip entries: their decoding and the check that keeps them inside the folder they are
// unpacked into.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace install {

// How the names of a package that are not flagged as UTF-8 are read. Decided once per package, so
// that every name of it (and its index.dat) follows the same rule.
enum class NameEncoding
{
    Utf8,  // every unflagged name of the package is valid UTF-8
    Cp936, // at least one is not: the package was made on Chinese Windows
};

// The encoding of a package whose unflagged names are these raw bytes: UTF-8 when every one of
// them is valid UTF-8, else code page 936.
class NameEncodingVote
{
public:
    void Add(std::string_view raw, bool utf8Flag);
    [[nodiscard]] NameEncoding Result() const { return m_result; }

private:
    NameEncoding m_result = NameEncoding::Utf8;
};

// The stored name as UTF-8 with "/" between folders. A name flagged as UTF-8 (general purpose bit
// 11) must be valid UTF-8; an unflagged one is read by the package's rule (names). Nothing when it
// does not decode by its rule, or when it contains a NUL byte.
[[nodiscard]] std::optional<std::string>
DecodeEntryName(std::string_view raw, bool utf8Flag, NameEncoding names = NameEncoding::Utf8);

// The decoded name as a path below the unpacking folder: empty and "." parts dropped. Nothing when
// the name is absolute, starts with a drive letter ("C:") or has a ".." part. An empty path means
// the folder itself.
[[nodiscard]] std::optional<std::filesystem::path> EntryRelativePath(std::string_view name);

} // namespace install
