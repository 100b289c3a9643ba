#include "install/GameConfig.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileIo.h"
#include "platform/Launch.h"
#include "platform/Profile.h"
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

} // namespace

std::string ReadExecutableName(const fs::path& gameFolder)
{
    std::string name = platform::GetProfileString(gameFolder / "index.dat", "config", "file", "");
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

bool ExecutableExists(const fs::path& path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec);
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
