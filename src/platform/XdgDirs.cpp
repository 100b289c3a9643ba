#include "platform/XdgDirs.h"

#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace platform {
namespace {

std::filesystem::path AbsoluteEnv(const char* name)
{
    const char* value = std::getenv(name); // NOLINT(concurrency-mt-unsafe): the program never sets variables
    if (value == nullptr || value[0] != '/') {
        return {};
    }
    return std::filesystem::path(value);
}

// The value of XDG_DESKTOP_DIR in a user-dirs.dirs file: "$HOME/…" or "/…" in double quotes.
std::filesystem::path DesktopFromUserDirs(const std::filesystem::path& file, const std::filesystem::path& home)
{
    std::ifstream in(file);
    std::string line;
    std::filesystem::path found;
    while (std::getline(in, line)) {
        std::string_view text(line);
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
            text.remove_prefix(1);
        }
        if (!text.starts_with("XDG_DESKTOP_DIR=")) {
            continue;
        }
        text.remove_prefix(16);
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
            text.remove_suffix(1);
        }
        if (text.size() < 2 || text.front() != '"' || text.back() != '"') {
            continue;
        }
        text = text.substr(1, text.size() - 2);
        std::string value;
        for (std::size_t i = 0; i < text.size(); ++i) { // the shell escapes the file may use
            if (text[i] == '\\' && i + 1 < text.size()) {
                ++i;
            }
            value.push_back(text[i]);
        }
        if (value.starts_with("$HOME")) {
            std::string rest = value.substr(5);
            if (!rest.empty() && rest.front() != '/') {
                continue;
            }
            while (!rest.empty() && rest.front() == '/') {
                rest.erase(0, 1);
            }
            found = rest.empty() ? home : home / rest;
        } else if (!value.empty() && value.front() == '/') {
            found = value;
        }
    }
    return found;
}

} // namespace

std::filesystem::path HomeDir()
{
    std::filesystem::path home = AbsoluteEnv("HOME");
    if (!home.empty()) {
        return home;
    }
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result != nullptr
        && result->pw_dir != nullptr) {
        return std::filesystem::path(result->pw_dir);
    }
    return {};
}

std::filesystem::path ConfigHome()
{
    std::filesystem::path dir = AbsoluteEnv("XDG_CONFIG_HOME");
    return dir.empty() ? HomeDir() / ".config" : dir;
}

std::filesystem::path DataHome()
{
    std::filesystem::path dir = AbsoluteEnv("XDG_DATA_HOME");
    return dir.empty() ? HomeDir() / ".local" / "share" : dir;
}

std::filesystem::path DesktopDir()
{
    std::filesystem::path home = HomeDir();
    std::filesystem::path desktop = DesktopFromUserDirs(ConfigHome() / "user-dirs.dirs", home);
    return desktop.empty() ? home / "Desktop" : desktop;
}

} // namespace platform
