#pragma once

// The abstract archive of the program: a file of packed entries that can be listed and unpacked.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace install {

// One entry of an archive's list.
struct ArchiveEntry
{
    std::string name; // UTF-8, "/" between folders; a folder's name ends in "/"
    std::uint64_t compressedSize = 0;
    std::uint64_t size = 0;
};

class CExpressedFile
{
public:
    CExpressedFile() = default;
    virtual ~CExpressedFile() = default;
    CExpressedFile(const CExpressedFile&) = delete;
    CExpressedFile& operator=(const CExpressedFile&) = delete;
    CExpressedFile(CExpressedFile&&) = delete;
    CExpressedFile& operator=(CExpressedFile&&) = delete;

    // Clears the entry list and remembers the path; true when the path is not empty and exists.
    [[nodiscard]] virtual bool Open(const std::filesystem::path& path);
    // Unpacks every entry into the folder (made when missing); false at the first entry that fails.
    [[nodiscard]] virtual bool ExtractAll(const std::filesystem::path& folder) = 0;
    // Unpacks the entry of that name (as listed) into the folder; false when it fails or is not there.
    [[nodiscard]] virtual bool ExtractEntry(std::string_view name, const std::filesystem::path& folder) = 0;
    // The entries found by Open(), in archive order.
    virtual const std::vector<ArchiveEntry>& Entries() const { return m_entries; }
    // Releases the archive; Open() may be called again afterwards.
    virtual void Close() = 0;

    const std::filesystem::path& Path() const { return m_path; }

protected:
    std::vector<ArchiveEntry> m_entries;
    std::filesystem::path m_path;
};

} // namespace install
