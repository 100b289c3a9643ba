#include "install/ZipFile.h"

namespace install {

CZipFile::~CZipFile()
{
    Close();
}

bool CZipFile::Open(const std::filesystem::path& path)
{
    if (!CExpressedFile::Open(path) || !m_unzipper.Open(path)) {
        return false;
    }
    std::optional<std::uint64_t> count = m_unzipper.EntryCount();
    if (!count) {
        return false;
    }
    for (bool more = m_unzipper.GoToFirstEntry(); more; more = m_unzipper.GoToNextEntry()) {
        std::optional<ZipEntryInfo> info = m_unzipper.EntryInfo();
        if (!info) {
            return false;
        }
        m_entries.push_back(ArchiveEntry{info->name, info->compressedSize, info->uncompressedSize});
    }
    // Fewer entries than the archive declares: its list is damaged.
    return m_entries.size() == *count;
}

bool CZipFile::ExtractAll(const std::filesystem::path& folder)
{
    return m_unzipper.ExtractAll(folder);
}

bool CZipFile::ExtractEntry(std::string_view name, const std::filesystem::path& folder)
{
    return !name.empty() && m_unzipper.GoToEntry(std::string(name)) && m_unzipper.ExtractEntry(folder);
}

void CZipFile::Close()
{
    m_unzipper.Close();
}

} // namespace install
