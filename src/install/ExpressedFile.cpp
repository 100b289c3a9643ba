#include "install/ExpressedFile.h"

#include <system_error>

namespace install {

bool CExpressedFile::Open(const std::filesystem::path& path)
{
    m_entries.clear();
    m_path = path;
    std::error_code ec;
    return !path.empty() && std::filesystem::exists(path, ec);
}

} // namespace install
