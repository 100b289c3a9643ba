#pragma once

// Zip extraction over the minizip unzip layer. One object reads one archive at a time; it is not
// shared between threads.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "install/EntryName.h"

namespace install {

// What the archive says about its current entry.
struct ZipEntryInfo
{
    std::string name;          // decoded to UTF-8, every "\" turned into "/"; empty when undecodable
    std::string comment;       // raw bytes, at most 255
    std::uint32_t version = 0; // "made by": high byte 3 means Unix
    std::uint32_t versionNeeded = 0;
    std::uint32_t flags = 0;       // general purpose bits; bit 11 = UTF-8 name
    std::uint32_t method = 0;      // 0 stored, 8 deflated
    std::uint32_t dosDateTime = 0; // high word date, low word time, local time
    std::uint32_t crc = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
    std::uint32_t externalAttributes = 0;

    bool IsFolder() const { return !name.empty() && name.back() == '/'; }
    // The Unix file mode (type and permission bits) when the entry was made on Unix and has one.
    std::optional<std::uint32_t> UnixMode() const;
};

class CUnzipper
{
public:
    // Bytes copied per read from the entry to the file.
    static constexpr std::size_t ChunkSize = 20480;

    CUnzipper();
    ~CUnzipper();
    CUnzipper(const CUnzipper&) = delete;
    CUnzipper& operator=(const CUnzipper&) = delete;
    CUnzipper(CUnzipper&&) = delete;
    CUnzipper& operator=(CUnzipper&&) = delete;

    // Closes any open archive and opens this one, deciding from all its names how the unflagged
    // ones are read (NameEncoding). True when an archive is open.
    [[nodiscard]] bool Open(const std::filesystem::path& path);
    void Close();
    bool IsOpen() const;
    // The archive path without its extension (set by a successful Open()).
    const std::filesystem::path& DefaultFolder() const;
    // How the open archive's unflagged names are read.
    [[nodiscard]] NameEncoding Names() const;
    // A flag that, once set (from any thread), makes the extraction stop before its next chunk and
    // fail; the file being written is removed. Null for none. Set before extracting.
    void SetStopFlag(const std::atomic<bool>* stop);
    // The number of entries the archive declares; nothing when no archive is open or it is unreadable.
    [[nodiscard]] std::optional<std::uint64_t> EntryCount() const;
    // False at the end of the list or on an error.
    [[nodiscard]] bool GoToFirstEntry();
    [[nodiscard]] bool GoToNextEntry();
    // Moves to the first entry whose decoded name is exactly name.
    [[nodiscard]] bool GoToEntry(const std::string& name);
    // The current entry's information; nothing when there is none.
    [[nodiscard]] std::optional<ZipEntryInfo> EntryInfo();

    // Unpacks every entry into the folder, stopping at the first failure. False when no archive is
    // open, the folder is empty or cannot be made, or the archive has no entries.
    [[nodiscard]] bool ExtractAll(const std::filesystem::path& folder);
    // Unpacks the current entry into the folder. An entry whose name would leave the folder, that
    // cannot be decoded, or that is packed by a method other than stored (0) or deflate (8) fails
    // and writes nothing; symbolic links and other special entries are skipped (true, nothing
    // written). A file is written whole, exactly its declared size with its CRC-32, or removed again.
    [[nodiscard]] bool ExtractEntry(const std::filesystem::path& folder);

    // Makes the folder and its missing parents; true when it exists as a folder afterwards.
    [[nodiscard]] static bool MakeFolder(const std::filesystem::path& path);
    // Sets the file's last-write time from a DOS date (high word) and time (low word) in local
    // time, keeping its last-access time. False for an impossible date or when the file cannot be set.
    [[nodiscard]] static bool SetFileTime(const std::filesystem::path& path, std::uint32_t dosDateTime);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace install
