#include "ZipBuilder.h"

#include <algorithm>
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

Item Raw(std::string name, std::string packed, int method, std::uint64_t declaredSize, std::uint32_t declaredCrc)
{
    Item item = File(std::move(name), std::move(packed), false);
    item.rawMethod = method;
    item.declaredSize = declaredSize;
    item.declaredCrc = declaredCrc;
    return item;
}

std::string DeflatedZeros(std::uint64_t size, std::uint32_t& crc)
{
    z_stream stream{};
    deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY);
    static const std::string zeros(1 << 20, '\0');
    std::string out;
    char buffer[1 << 16];
    crc = static_cast<std::uint32_t>(crc32(0L, Z_NULL, 0));
    for (std::uint64_t left = size;;) {
        const auto n = static_cast<uInt>(std::min<std::uint64_t>(left, zeros.size()));
        crc = static_cast<std::uint32_t>(crc32(crc, reinterpret_cast<const Bytef*>(zeros.data()), n));
        left -= n;
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
        stream.avail_in = n;
        const int flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        int result = Z_OK;
        do {
            stream.next_out = reinterpret_cast<Bytef*>(buffer);
            stream.avail_out = sizeof buffer;
            result = deflate(&stream, flush);
            out.append(buffer, sizeof buffer - stream.avail_out);
        } while (stream.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
        if (left == 0) {
            break;
        }
    }
    deflateEnd(&stream);
    return out;
}

std::uint32_t Crc(const std::string& data)
{
    return static_cast<std::uint32_t>(
        crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
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
        const bool raw = item.rawMethod.has_value();
        // minizip writes only stored and deflated entries; other methods are patched in below.
        int method = raw ? (*item.rawMethod == Z_DEFLATED ? Z_DEFLATED : 0) : item.deflate ? Z_DEFLATED : 0;
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
                                        raw ? 1 : 0,
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
        if (raw) {
            ok = ok && zipCloseFileInZipRaw64(zip, item.declaredSize, item.declaredCrc) == ZIP_OK;
        } else {
            ok = ok && zipCloseFileInZip(zip) == ZIP_OK;
        }
    }
    ok = zipClose(zip, nullptr) == ZIP_OK && ok;
    for (const Item& item : items) {
        if (!ok || !item.rawMethod || *item.rawMethod == 0 || *item.rawMethod == Z_DEFLATED) {
            continue;
        }
        // The method field of the entry's central and local headers.
        std::string bytes = ReadFile(path);
        auto word = [&](std::size_t at) {
            return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
        };
        for (std::size_t at = bytes.find("PK\x01\x02"); at != std::string::npos;
             at = bytes.find("PK\x01\x02", at + 4)) {
            if (bytes.compare(at + 46, word(at + 28), item.name) != 0) {
                continue;
            }
            const std::size_t local = word(at + 42) | static_cast<std::size_t>(word(at + 44)) << 16;
            for (std::size_t field : {at + 10, local + 8}) {
                bytes[field] = static_cast<char>(*item.rawMethod & 0xFF);
                bytes[field + 1] = static_cast<char>(*item.rawMethod >> 8);
            }
        }
        WriteFile(path, bytes);
    }
    return ok;
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
