// Entry names: decoding never crashes, and an accepted name never leaves its folder.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "install/EntryName.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view raw(reinterpret_cast<const char*>(data), size);
    for (bool flag : {false, true}) {
        auto name = install::DecodeEntryName(raw, flag);
        if (!name) {
            continue;
        }
        auto relative = install::EntryRelativePath(*name);
        if (!relative) {
            continue;
        }
        if (relative->is_absolute()) {
            std::abort();
        }
        for (const auto& part : *relative) {
            if (part == ".." || part == "." || part.empty()) {
                std::abort();
            }
        }
    }
    return 0;
}
