#pragma once

// Writes real zip files for the tests with minizip's writer, down to the raw entry name bytes,
// the "made by" system, the UTF-8 flag, DOS times and Unix modes.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace test_zip {

// 2021-06-15 13:45:30 as a DOS date (high word) and time (low word).
constexpr std::uint32_t SampleDosTime = ((41u << 9 | 6u << 5 | 15u) << 16) | (13u << 11 | 45u << 5 | 15u);

struct Item
{
    std::string name; // raw bytes as stored
    std::string data;
    bool deflate = true;
    std::uint32_t dosDateTime = SampleDosTime;
    std::optional<std::uint32_t> unixMode; // type and permission bits; made on Unix when set
    bool utf8Flag = false;
    // Written as is (already packed) with this method, declared size and CRC, when set.
    std::optional<int> rawMethod;
    std::uint64_t declaredSize = 0;
    std::uint32_t declaredCrc = 0;
};

Item File(std::string name, std::string data, bool deflate = true);
Item Folder(std::string name);
Item Script(std::string name, std::string text, std::uint32_t mode = 0100755);
// An entry whose bytes are stored as given, packed by method, with the size and CRC it declares.
Item Raw(std::string name, std::string packed, int method, std::uint64_t declaredSize, std::uint32_t declaredCrc);
// The raw deflate stream of size zero bytes, and its CRC-32.
std::string DeflatedZeros(std::uint64_t size, std::uint32_t& crc);
std::uint32_t Crc(const std::string& data);

bool WriteZip(const std::filesystem::path& path, const std::vector<Item>& items);

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& data);
// Pseudo-random bytes that deflate barely shrinks.
std::string NoiseBytes(std::size_t size, std::uint32_t seed = 1);

} // namespace test_zip
