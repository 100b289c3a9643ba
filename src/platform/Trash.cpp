#include "platform/Trash.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileIo.h"
#include "platform/XdgDirs.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

bool MakePrivateFolder(const fs::path& folder)
{
    if (mkdir(folder.c_str(), 0700) == 0) {
        return true;
    }
    std::error_code ec;
    return errno == EEXIST && fs::is_directory(folder, ec);
}

// The original path as the trash info file wants it: absolute, bytes outside the unreserved
// characters percent-encoded.
std::string EscapePath(const std::string& path)
{
    static const char* const Hex = "0123456789ABCDEF";
    std::string out;
    for (char c : path) {
        auto byte = static_cast<unsigned char>(c);
        bool keep = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9')
                    || std::string_view("/-_.!~*'()").find(c) != std::string_view::npos;
        if (keep) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(Hex[byte >> 4]);
            out.push_back(Hex[byte & 0xF]);
        }
    }
    return out;
}

std::string LocalTimeNow()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return std::string(text, n);
}

} // namespace

bool MoveToTrash(const fs::path& path)
{
    std::error_code ec;
    fs::path original = fs::absolute(path, ec).lexically_normal();
    if (ec) {
        return false;
    }
    if (!original.has_filename()) {
        original = original.parent_path(); // "…/7/" names the folder 7
    }
    if (!original.has_filename() || !fs::exists(fs::symlink_status(original, ec))) {
        return false;
    }
    const fs::path trash = DataHome() / "Trash";
    fs::create_directories(trash.parent_path(), ec);
    if (!MakePrivateFolder(trash) || !MakePrivateFolder(trash / "files") || !MakePrivateFolder(trash / "info")) {
        return false;
    }
    const std::string info =
        "[Trash Info]\nPath=" + EscapePath(original.string()) + "\nDeletionDate=" + LocalTimeNow() + "\n";
    const std::string stem = original.stem().string();
    const std::string extension = original.extension().string();
    // The info file is created exclusively first: it reserves the name against other programs.
    for (int n = 1; n < 10000; ++n) {
        std::string name = n == 1 ? original.filename().string() : stem + "." + std::to_string(n) + extension;
        fs::path infoFile = trash / "info" / (name + ".trashinfo");
        fs::path target = trash / "files" / name;
        int fd = open(infoFile.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return false;
        }
        bool written = WriteAll(fd, info.data(), info.size());
        written = close(fd) == 0 && written;
        if (!written || fs::exists(fs::symlink_status(target, ec))) {
            unlink(infoFile.c_str());
            if (!written) {
                return false;
            }
            continue;
        }
        if (rename(original.c_str(), target.c_str()) == 0) {
            return true;
        }
        if (errno != EXDEV) {
            unlink(infoFile.c_str());
            return false;
        }
        // Another file system: copy, and delete the original only once the copy is whole.
        fs::copy(original, target, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
        if (ec) {
            fs::remove_all(target, ec);
            unlink(infoFile.c_str());
            return false;
        }
        fs::remove_all(original, ec);
        return !ec; // on failure the whole copy stays in the Trash and what was not deleted stays too
    }
    return false;
}

} // namespace platform
