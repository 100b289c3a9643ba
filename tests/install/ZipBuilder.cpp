#include "ZipBuilder.h"

#include <fstream>
#include <iterator>

#include <minizip/zip.h>
#include <zlib.h>

namespace test_zip {

Item File(std::string name, std::string data, bool deflate)
{
    Item item;
    item.name = std::move(name);
    item.data = std::move(data);
    item.deflate = deflate;
    return item;
}

Item Folder(std::string name)
{
    Item item;
    item.name = std::move(name);
    item.deflate = false;
    return item;
}

Item Script(std::string name, std::string text, std::uint32_t mode)
{
    Item item = File(std::move(name), std::move(text));
    item.unixMode = mode;
    return item;
}

bool WriteZip(const std::filesystem::path& path, const std::vector<Item>& items)
{
    zipFile zip = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (zip == nullptr) {
        return false;
    }
    bool ok = true;
    for (const Item& item : items) {
        zip_fileinfo info{};
        info.dosDate = item.dosDateTime;
        uLong madeBy = 20; // MS-DOS
        if (item.unixMode) {
            madeBy = (3u << 8) | 30u;
            info.external_fa = static_cast<uLong>(*item.unixMode) << 16;
        }
        int method = item.deflate ? Z_DEFLATED : 0;
        ok = ok
             && zipOpenNewFileInZip4_64(zip,
                                        item.name.c_str(),
                                        &info,
                                        nullptr,
                                        0,
                                        nullptr,
                                        0,
                                        nullptr,
                                        method,
                                        item.deflate ? Z_DEFAULT_COMPRESSION : 0,
                                        0,
                                        -MAX_WBITS,
                                        DEF_MEM_LEVEL,
                                        Z_DEFAULT_STRATEGY,
                                        nullptr,
                                        0,
                                        madeBy,
                                        item.utf8Flag ? (1u << 11) : 0u,
                                        0)
                    == ZIP_OK;
        if (ok && !item.data.empty()) {
            ok = zipWriteInFileInZip(zip, item.data.data(), static_cast<unsigned>(item.data.size())) == ZIP_OK;
        }
        ok = ok && zipCloseFileInZip(zip) == ZIP_OK;
    }
    return zipClose(zip, nullptr) == ZIP_OK && ok;
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path& path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

std::string NoiseBytes(std::size_t size, std::uint32_t seed)
{
    std::string bytes(size, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (char& c : bytes) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x & 0xFF);
    }
    return bytes;
}

} // namespace test_zip
