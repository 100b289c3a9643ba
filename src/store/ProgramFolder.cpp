#include "store/ProgramFolder.h"

#include <ctime>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileIo.h"
#include "platform/XdgDirs.h"

#ifndef MARLUNE_BUNDLE_FROM_BIN
#define MARLUNE_BUNDLE_FROM_BIN "../share/marlune"
#endif

namespace store {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view SkinFile = "skin.rcc";
constexpr std::string_view CatalogueFile = "gamelist.xml";
// The one-line installation date that the day number is counted from (read by src/loading).
constexpr std::string_view InstallDateFile = "installdate";
constexpr const char* Subfolders[] = {"ico", "pic", "download", "game"};
// The bundle's folders that a new program folder starts with.
constexpr const char* BundledFolders[] = {"ico", "pic"};

std::string FolderText(const fs::path& folder)
{
    std::string text = folder.generic_string();
    if (text.empty() || text.back() != '/') {
        text += '/';
    }
    return text;
}

bool IsFile(const fs::path& path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

// Makes folder and every missing folder above it, each only for its owner.
void MakePrivateFolders(const fs::path& folder)
{
    fs::path partial;
    for (const fs::path& part : folder) {
        partial /= part;
        ::mkdir(partial.c_str(), 0700); // an existing folder keeps its mode
    }
}

// Copies from to a missing to through a temporary name, so that to is never a part of from.
void CopyIfMissing(const fs::path& from, const fs::path& to)
{
    std::error_code ec;
    if (!fs::is_regular_file(from, ec) || fs::exists(to, ec)) {
        return;
    }
    fs::path partial = to;
    partial += ".part";
    if (fs::copy_file(from, partial, fs::copy_options::overwrite_existing, ec)) {
        fs::rename(partial, to, ec);
    }
    if (ec) {
        fs::remove(partial, ec);
    }
}

// Copies the files below from into to that are not there yet.
void CopyMissing(const fs::path& from, const fs::path& to)
{
    std::error_code ec;
    fs::recursive_directory_iterator it(from, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::path target = to / fs::relative(it->path(), from, ec);
        if (ec) {
            return;
        }
        std::error_code step;
        if (it->is_directory(step)) {
            fs::create_directory(target, step);
        } else {
            CopyIfMissing(it->path(), target);
        }
    }
}

// "year-month-day hour:minute:second" in local time, as the day number reads it.
std::string DateLine(std::chrono::system_clock::time_point when)
{
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    ::localtime_r(&t, &local);
    return std::to_string(local.tm_year + 1900) + "-" + std::to_string(local.tm_mon + 1) + "-"
           + std::to_string(local.tm_mday) + " " + std::to_string(local.tm_hour) + ":" + std::to_string(local.tm_min)
           + ":" + std::to_string(local.tm_sec) + "\n";
}

void WriteNewFile(const fs::path& path, std::string_view text)
{
    // O_EXCL: a date written meanwhile by another start is kept.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    const bool ok = platform::WriteAll(fd, text.data(), text.size());
    if (::close(fd) != 0 || !ok) {
        ::unlink(path.c_str());
    }
}

} // namespace

fs::path InstalledBundleDir(const fs::path& executableFolder)
{
    return (executableFolder / MARLUNE_BUNDLE_FROM_BIN).lexically_normal();
}

ProgramLayout ChooseProgramLayout(const fs::path& executable, bool folderWritable, const fs::path& dataHome)
{
    const fs::path folder = executable.parent_path();
    const fs::path besideSkin = folder / SkinFile;
    const fs::path bundle = InstalledBundleDir(folder);
    const fs::path bundleSkin = bundle / SkinFile;
    const bool skinBeside = IsFile(besideSkin);
    const bool portable =
        dataHome.empty() || !dataHome.is_absolute() || (folderWritable && (skinBeside || !IsFile(bundleSkin)));
    if (portable) {
        return ProgramLayout{FolderText(folder), besideSkin, {}};
    }
    // Installed; a read-only portable folder is its own bundle.
    const fs::path from = skinBeside ? folder : bundle;
    return ProgramLayout{FolderText(dataHome / "marlune"), from / SkinFile, from};
}

bool IsWritableFolder(const fs::path& folder)
{
    return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

ProgramLayout ThisProgramLayout()
{
    std::error_code ec;
    const fs::path executable = fs::read_symlink("/proc/self/exe", ec);
    if (ec || executable.empty()) {
        return ProgramLayout{"./", fs::path(SkinFile), {}};
    }
    return ChooseProgramLayout(executable, IsWritableFolder(executable.parent_path()), platform::DataHome());
}

void PrepareProgramFolder(const ProgramLayout& layout, std::chrono::system_clock::time_point now)
{
    const fs::path dir(layout.programDir);
    std::error_code ec;
    if (layout.Installed()) {
        MakePrivateFolders(dir);
        if (!fs::exists(dir / CatalogueFile, ec)) {
            // The pictures first: a start cut short before the catalogue is copied starts over.
            for (const char* folder : BundledFolders) {
                if (fs::is_directory(layout.bundleDir / folder, ec)) {
                    fs::create_directory(dir / folder, ec);
                    CopyMissing(layout.bundleDir / folder, dir / folder);
                }
            }
            CopyIfMissing(layout.bundleDir / CatalogueFile, dir / CatalogueFile);
        }
        if (!fs::exists(dir / InstallDateFile, ec)) {
            WriteNewFile(dir / InstallDateFile, DateLine(now));
        }
    }
    for (const char* folder : Subfolders) {
        fs::create_directory(dir / folder, ec); // failures are not reported
    }
}

} // namespace store
