#include "install/GameConfig.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <optional>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "install/Unpack.h"
#include "platform/Cp936.h"
#include "platform/FileIo.h"
#include "platform/Launch.h"
#include "platform/Profile.h"
#include "platform/Utf.h"
#include "platform/XdgDirs.h"

namespace install {
namespace {

namespace fs = std::filesystem;

bool ClimbsOut(std::string_view name)
{
    while (!name.empty()) {
        std::size_t slash = name.find('/');
        if (name.substr(0, slash) == "..") {
            return true;
        }
        name.remove_prefix(slash == std::string_view::npos ? name.size() : slash + 1);
    }
    return false;
}

// A value of type string in a desktop entry: backslash and control characters escaped.
std::string EscapeEntryValue(std::string_view text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out.push_back(c);
        }
    }
    if (!out.empty() && out.front() == ' ') {
        out.replace(0, 1, "\\s");
    }
    return out;
}

// One argument of an Exec line: in double quotes, with the characters that are special inside
// them backslash-escaped and "%" doubled (it starts a field code).
std::string QuoteExecArgument(std::string_view argument)
{
    std::string out = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (c == '%') {
            out += "%%";
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
    return out;
}

// index.dat as UTF-8 text, read the way the package's names were: a byte-order mark says what it
// is; otherwise each line is decoded by the names' rule first (so a value names the files exactly
// as their unflagged names were unpacked) and by the other rule when it does not decode by that one
// (a value in code page 936 can still name a file whose name was flagged as UTF-8). A line that
// decodes by neither is left out.
std::string DecodeIndexDat(std::string_view all, NameEncoding names)
{
    if (all.starts_with("\xFF\xFE") || all.starts_with("\xFE\xFF")) {
        const bool bigEndian = all[0] == '\xFE';
        std::u16string units;
        for (std::size_t i = 2; i + 1 < all.size(); i += 2) {
            const auto b0 = static_cast<unsigned char>(all[i]);
            const auto b1 = static_cast<unsigned char>(all[i + 1]);
            units.push_back(static_cast<char16_t>(bigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0));
        }
        return platform::Utf16ToUtf8(units);
    }
    if (all.starts_with("\xEF\xBB\xBF")) {
        all.remove_prefix(3);
        names = NameEncoding::Utf8;
    }
    auto asUtf8 = [](std::string_view line) {
        return platform::IsValidUtf8(line) ? std::optional<std::string>(line) : std::nullopt;
    };
    std::string text;
    while (!all.empty()) {
        const std::size_t end = all.find('\n');
        const std::string_view line = all.substr(0, end);
        all.remove_prefix(end == std::string_view::npos ? all.size() : end + 1);
        std::optional<std::string> decoded = names == NameEncoding::Cp936 ? platform::Cp936ToUtf8(line) : asUtf8(line);
        if (!decoded) {
            decoded = names == NameEncoding::Cp936 ? asUtf8(line) : platform::Cp936ToUtf8(line);
        }
        if (decoded) {
            text += *decoded;
            text += '\n';
        }
    }
    return text;
}

} // namespace

std::string ReadExecutableName(const fs::path& gameFolder)
{
    const fs::path file = gameFolder / "index.dat";
    std::string name;
    if (const std::optional<NameEncoding> names = UnpackedNames(gameFolder)) {
        std::ifstream in(file, std::ios::binary);
        // A configuration file is a few lines; a huge one is read only as far as any sane one goes.
        std::string bytes(1 << 20, '\0');
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        bytes.resize(static_cast<std::size_t>(in.gcount()));
        name = platform::ProfileStringFromText(DecodeIndexDat(bytes, *names), "config", "file", "");
    } else {
        name = platform::GetProfileString(file, "config", "file", "");
    }
    // A NUL ends the value, as it ends a string for the system: nothing after it reaches a path.
    name.resize(std::min(name.size(), name.find('\0')));
    std::replace(name.begin(), name.end(), '\\', '/');
    return ClimbsOut(name) ? std::string() : name;
}

std::string ExecutablePathForOpen(std::string_view gameFolder, std::string_view name)
{
    return std::string(gameFolder) + std::string(name);
}

std::string ExecutablePathForRemove(std::string_view gameFolder, std::string_view name)
{
    return std::string(gameFolder) + "/" + std::string(name);
}

bool ExecutableExists(const fs::path& gameFolder, const fs::path& path)
{
    struct stat file
    {};
    if (lstat(path.c_str(), &file) != 0 || !S_ISREG(file.st_mode)) {
        return false;
    }
    // index.dat itself (however it is named: "index.dat", "./index.dat", "bin/../index.dat") is
    // the configuration, never the game.
    struct stat config
    {};
    return lstat((gameFolder / "index.dat").c_str(), &config) != 0 || config.st_dev != file.st_dev
           || config.st_ino != file.st_ino;
}

bool EnsureExecutable(const fs::path& path)
{
    struct stat st
    {};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return false;
    }
    if ((st.st_mode & S_IXUSR) != 0) {
        return true;
    }
    mode_t mode = st.st_mode & 07777;
    mode |= S_IXUSR;
    mode |= (mode & S_IRGRP) != 0 ? S_IXGRP : 0;
    mode |= (mode & S_IROTH) != 0 ? S_IXOTH : 0;
    return chmod(path.c_str(), mode) == 0;
}

std::string ShortcutName(std::string_view fileValue)
{
    std::string name(fileValue);
    std::replace(name.begin(), name.end(), '\\', '/');
    std::size_t slash = name.rfind('/');
    if (slash != std::string::npos) {
        name.erase(0, slash + 1);
    }
    if (name.empty()) {
        return name;
    }
    std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) {
        name.erase(dot);
    }
    return name + ".desktop";
}

std::string DesktopEntryText(const fs::path& executable, const fs::path& gameFolder, std::string_view title)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Version=1.0\n"
           "Name="
           + EscapeEntryValue(title) + "\nExec=" + EscapeEntryValue(QuoteExecArgument(executable.string()))
           + "\nPath=" + EscapeEntryValue(gameFolder.string()) + "\nTerminal=false\n";
}

bool MakeDesktopShortcut(bool enabled,
                         const fs::path& executable,
                         const fs::path& gameFolder,
                         std::string_view fileValue)
{
    if (!enabled) {
        return false;
    }
    const std::string name = ShortcutName(fileValue);
    std::error_code ec;
    const fs::path desktop = platform::DesktopDir();
    if (name.empty() || desktop.empty() || !fs::is_directory(desktop, ec)) {
        return false; // the desktop folder is not made for us
    }
    const fs::path link = desktop / name;
    if (fs::exists(fs::symlink_status(link, ec))) {
        return true; // an existing launcher of that name is left as it is
    }
    int fd = open(link.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0755);
    if (fd < 0) {
        return errno == EEXIST;
    }
    const std::string title = name.substr(0, name.size() - std::string_view(".desktop").size());
    const std::string entry = DesktopEntryText(executable, gameFolder, title);
    bool ok = platform::WriteAll(fd, entry.data(), entry.size());
    ok = close(fd) == 0 && ok;
    if (!ok) {
        unlink(link.c_str());
        return false;
    }
    // GNOME's desktop starts a launcher only once it is marked trusted; elsewhere the execute bit does.
    (void)platform::RunAndWait({"gio", "set", "-t", "string", link.string(), "metadata::trusted", "true"},
                               std::chrono::seconds(2));
    return true;
}

} // namespace install
