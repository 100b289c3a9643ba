#include "install/EntryName.h"

#include <algorithm>

#include "platform/Cp936.h"
#include "platform/Utf.h"

namespace install {

void NameEncodingVote::Add(std::string_view raw, bool utf8Flag)
{
    if (!utf8Flag && !platform::IsValidUtf8(raw)) {
        m_result = NameEncoding::Cp936;
    }
}

std::optional<std::string> DecodeEntryName(std::string_view raw, bool utf8Flag, NameEncoding names)
{
    if (raw.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    std::optional<std::string> name;
    if (!utf8Flag && names == NameEncoding::Cp936) {
        name = platform::Cp936ToUtf8(raw);
    } else if (platform::IsValidUtf8(raw)) {
        name = std::string(raw);
    } // a name flagged as UTF-8 that is not is damaged: no guessing

    if (name) {
        std::replace(name->begin(), name->end(), '\\', '/');
    }
    return name;
}

std::optional<std::filesystem::path> EntryRelativePath(std::string_view name)
{
    if (name.empty()) {
        return std::filesystem::path();
    }
    if (name.front() == '/' || name.front() == '\\' || name.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    if (name.size() >= 2 && name[1] == ':'
        && ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) {
        return std::nullopt;
    }
    std::filesystem::path result;
    while (!name.empty()) {
        std::size_t slash = name.find_first_of("/\\");
        std::string_view part = name.substr(0, slash);
        name.remove_prefix(slash == std::string_view::npos ? name.size() : slash + 1);
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            return std::nullopt;
        }
        result /= std::string(part);
    }
    return result;
}

} // namespace install
