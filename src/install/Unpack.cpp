#include "install/Unpack.h"

#include <cerrno>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

#include "install/ZipFile.h"
#include "platform/FileIo.h"

namespace install {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view Utf8Record = "names=utf-8\n";
constexpr std::string_view Cp936Record = "names=cp936\n";

bool WriteRecord(const fs::path& gameFolder, NameEncoding names)
{
    const fs::path record = UnpackedRecordPath(gameFolder);
    const std::string_view text = names == NameEncoding::Cp936 ? Cp936Record : Utf8Record;
    const int fd = ::open(record.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    bool ok = platform::WriteAll(fd, text.data(), text.size());
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        ::unlink(record.c_str());
    }
    return ok;
}

} // namespace

fs::path UnpackedRecordPath(const fs::path& gameFolder)
{
    fs::path folder = gameFolder;
    if (!folder.has_filename()) {
        folder = folder.parent_path(); // "…/7/" is the folder 7
    }
    return folder.parent_path() / ("." + folder.filename().string() + ".unpacked");
}

std::optional<NameEncoding> UnpackedNames(const fs::path& gameFolder)
{
    const int fd = ::open(UnpackedRecordPath(gameFolder).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    char text[32] = {};
    const ssize_t got = ::read(fd, text, sizeof text);
    ::close(fd);
    const std::string_view read(text, got > 0 ? static_cast<std::size_t>(got) : 0);
    if (read == Utf8Record) {
        return NameEncoding::Utf8;
    }
    if (read == Cp936Record) {
        return NameEncoding::Cp936;
    }
    return std::nullopt; // cut short by a crash while it was written: not unpacked
}

bool ForgetUnpacked(const fs::path& gameFolder)
{
    return ::unlink(UnpackedRecordPath(gameFolder).c_str()) == 0 || errno == ENOENT;
}

UnpackResult UnpackGame(const fs::path& packagePath, const fs::path& gameFolder, const std::atomic<bool>* stop)
{
    CZipFile zip;
    if (!zip.Open(packagePath)) {
        return UnpackResult::PackageUnreadable;
    }
    if (!ForgetUnpacked(gameFolder)) {
        return UnpackResult::Failed;
    }
    zip.SetStopFlag(stop);
    if (!zip.ExtractAll(gameFolder)) {
        return stop != nullptr && stop->load() ? UnpackResult::Stopped : UnpackResult::Failed;
    }
    if (!WriteRecord(gameFolder, zip.Names())) {
        return UnpackResult::Failed;
    }
    return UnpackResult::Unpacked;
}

bool UnpackPackage(const fs::path& packagePath, const fs::path& gameFolder, const std::atomic<bool>* stop)
{
    return UnpackGame(packagePath, gameFolder, stop) == UnpackResult::Unpacked;
}

} // namespace install
