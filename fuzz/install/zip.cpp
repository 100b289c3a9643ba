// Unpacks arbitrary bytes as a package into a scratch folder; nothing may be written outside it.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "install/ZipFile.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fs::path root = [] {
        std::string pattern = (fs::temp_directory_path() / "marlune-fuzz-zip-XXXXXX").string();
        return fs::path(mkdtemp(pattern.data()));
    }();
    const fs::path package = root / "p.zip";
    const fs::path out = root / "out" / "game";
    {
        std::ofstream file(package, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    install::CZipFile zip;
    if (zip.Open(package)) {
        (void)zip.ExtractAll(out);
    }
    zip.Close();
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root / "out", ec)) {
        if (entry.path() != out) {
            std::abort(); // something landed beside the game folder
        }
    }
    fs::remove_all(root / "out", ec);
    return 0;
}
