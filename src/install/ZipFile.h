#pragma once

// A zip package as the program's archive (see ExpressedFile.h).

#include "install/ExpressedFile.h"
#include "install/Unzipper.h"

namespace install {

class CZipFile : public CExpressedFile
{
public:
    CZipFile() = default;
    ~CZipFile() override;
    CZipFile(const CZipFile&) = delete;
    CZipFile& operator=(const CZipFile&) = delete;
    CZipFile(CZipFile&&) = delete;
    CZipFile& operator=(CZipFile&&) = delete;

    // Opens the zip and lists its entries. False when the file is missing, is not a zip, or its
    // list of entries is damaged.
    [[nodiscard]] bool Open(const std::filesystem::path& path) override;
    [[nodiscard]] bool ExtractAll(const std::filesystem::path& folder) override;
    [[nodiscard]] bool ExtractEntry(std::string_view name, const std::filesystem::path& folder) override;
    void Close() override;
    // How the package's unflagged names are read (decided by Open()).
    [[nodiscard]] NameEncoding Names() const { return m_unzipper.Names(); }
    // See CUnzipper::SetStopFlag.
    void SetStopFlag(const std::atomic<bool>* stop) { m_unzipper.SetStopFlag(stop); }

private:
    CUnzipper m_unzipper;
};

} // namespace install
