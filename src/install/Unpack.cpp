#include "install/Unpack.h"

#include "install/ZipFile.h"

namespace install {

bool UnpackPackage(const std::filesystem::path& packagePath, const std::filesystem::path& gameFolder)
{
    CZipFile zip;
    return zip.Open(packagePath) && zip.ExtractAll(gameFolder);
}

} // namespace install
