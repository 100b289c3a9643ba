#include "install/Unzipper.h"

#include <cerrno>
#include <ctime>
#include <fstream>
#include <unordered_set>
#include <vector>

#include <fcntl.h>
#include <minizip/unzip.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include "install/EntryName.h"
#include "platform/FileIo.h"

namespace install {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t MadeOnUnix = 3;
constexpr std::uint32_t Utf8NameFlag = 1u << 11;
constexpr std::uint32_t EncryptedFlag = 1u << 0;
constexpr std::uint32_t Stored = 0;
constexpr std::uint32_t Deflated = 8;

// The process's file mode creation mask, read without changing it (umask() can only be read by
// setting it, which would race with other threads creating files). 022 when it cannot be read.
mode_t ProcessUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            try {
                return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8) & 0777);
            } catch (...) {
                break;
            }
        }
    }
    return 022;
}

// The DOS date and time as seconds since the epoch, read as local time; nothing when impossible.
std::optional<std::time_t> DosToTime(std::uint32_t dosDateTime)
{
    const std::uint32_t date = dosDateTime >> 16;
    const std::uint32_t time = dosDateTime & 0xFFFFu;
    std::tm local{};
    local.tm_mday = static_cast<int>(date & 0x1F);
    local.tm_mon = static_cast<int>((date >> 5) & 0x0F) - 1;
    local.tm_year = static_cast<int>(date >> 9) + 1980 - 1900;
    local.tm_hour = static_cast<int>(time >> 11);
    local.tm_min = static_cast<int>((time >> 5) & 0x3F);
    local.tm_sec = static_cast<int>(time & 0x1F) * 2;
    local.tm_isdst = -1;
    if (local.tm_mday < 1 || local.tm_mon < 0 || local.tm_mon > 11 || local.tm_hour > 23 || local.tm_min > 59
        || local.tm_sec > 59) {
        return std::nullopt;
    }
    std::time_t seconds = std::mktime(&local);
    if (seconds == static_cast<std::time_t>(-1)) {
        return std::nullopt;
    }
    return seconds;
}

bool SetTimes(int fd, std::uint32_t dosDateTime)
{
    std::optional<std::time_t> seconds = DosToTime(dosDateTime);
    if (!seconds) {
        return false;
    }
    timespec times[2]{};
    times[0].tv_nsec = UTIME_OMIT; // last access stays
    times[1].tv_sec = *seconds;
    return futimens(fd, times) == 0;
}

// minizip takes an end record at offset 0 for "not found", so an archive without entries (just
// its 22-byte end record and a comment) does not open there. It is a valid zip with no entries.
bool IsEmptyArchive(const fs::path& path)
{
    std::error_code ec;
    const std::uintmax_t size = fs::file_size(path, ec);
    if (ec || size < 22 || size > 22 + 0xFFFF) {
        return false;
    }
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    unsigned char record[22] = {};
    const bool read = pread(fd, record, sizeof record, 0) == static_cast<ssize_t>(sizeof record);
    close(fd);
    auto word = [&](int at) { return static_cast<unsigned>(record[at] | (record[at + 1] << 8)); };
    return read && record[0] == 'P' && record[1] == 'K' && record[2] == 5 && record[3] == 6 && word(8) == 0
           && word(10) == 0 && 22 + word(20) == size;
}

} // namespace

std::optional<std::uint32_t> ZipEntryInfo::UnixMode() const
{
    if ((version >> 8) != MadeOnUnix || (externalAttributes >> 16) == 0) {
        return std::nullopt;
    }
    return externalAttributes >> 16;
}

struct CUnzipper::Impl
{
    unzFile archive = nullptr;
    bool emptyArchive = false; // open, with no entries (see IsEmptyArchive)
    NameEncoding names = NameEncoding::Utf8;
    const std::atomic<bool>* stop = nullptr;
    mode_t createMask = 022; // the process umask, read when an extraction begins
    fs::path defaultFolder;
    std::vector<char> nameBuffer = std::vector<char>(65536);
    std::vector<char> chunk = std::vector<char>(ChunkSize);
    // Folders below the unpacking folder known to be real folders (not links) in this extraction.
    fs::path root;
    std::unordered_set<std::string> knownFolders;

    bool Begin(const fs::path& folder);
    bool ExtractCurrent();
    bool MakeFolderBelow(const fs::path& relative);
    bool ExtractFile(const ZipEntryInfo& info, const fs::path& relative);
    std::optional<ZipEntryInfo> CurrentInfo();
    void DecideNames();
    bool Stopping() const { return stop != nullptr && stop->load(); }
};

// Every unflagged name of the package votes; the walk ends on the first entry.
void CUnzipper::Impl::DecideNames()
{
    NameEncodingVote vote;
    for (int more = unzGoToFirstFile(archive); more == UNZ_OK; more = unzGoToNextFile(archive)) {
        unz_file_info64 raw{};
        if (unzGetCurrentFileInfo64(archive,
                                    &raw,
                                    nameBuffer.data(),
                                    static_cast<uLong>(nameBuffer.size()),
                                    nullptr,
                                    0,
                                    nullptr,
                                    0)
            != UNZ_OK) {
            break;
        }
        const std::size_t length = std::min<std::size_t>(raw.size_filename, nameBuffer.size());
        vote.Add(std::string_view(nameBuffer.data(), length), (raw.flag & Utf8NameFlag) != 0);
    }
    names = vote.Result();
    unzGoToFirstFile(archive);
}

bool CUnzipper::Impl::Begin(const fs::path& folder)
{
    if (folder.empty() || !CUnzipper::MakeFolder(folder)) {
        return false;
    }
    root = folder;
    knownFolders.clear();
    createMask = ProcessUmask();
    return true;
}

bool CUnzipper::Impl::ExtractCurrent()
{
    std::optional<ZipEntryInfo> info = CurrentInfo();
    if (!info || info->name.empty() || (info->flags & EncryptedFlag) != 0) {
        return false;
    }
    std::optional<fs::path> relative = EntryRelativePath(info->name);
    if (!relative) {
        return false; // it would land outside the folder
    }
    const std::optional<std::uint32_t> mode = info->UnixMode();
    const std::uint32_t type = mode ? (*mode & S_IFMT) : 0;
    if (info->IsFolder() || type == S_IFDIR) {
        if (!MakeFolderBelow(*relative)) {
            return false;
        }
        if (mode && !relative->empty()) {
            chmod((root / *relative).c_str(), static_cast<mode_t>(((*mode & 0777) | 0700) & ~createMask));
        }
        return true;
    }
    if (type != 0 && type != S_IFREG) {
        return true; // symbolic links, devices, pipes: never created
    }
    if (relative->empty() || (info->method != Stored && info->method != Deflated)) {
        return false; // another method would be copied out raw, as if it were the file
    }
    return ExtractFile(*info, *relative);
}

// Makes each missing level under the root. A level that exists must be a real folder, not a
// symbolic link, so nothing written below it can land outside the root.
bool CUnzipper::Impl::MakeFolderBelow(const fs::path& relative)
{
    fs::path current = root;
    std::string key;
    for (const fs::path& part : relative) {
        current /= part;
        key += part.native();
        key += '/';
        if (knownFolders.contains(key)) {
            continue;
        }
        struct stat st
        {};
        if (lstat(current.c_str(), &st) != 0) {
            if (errno != ENOENT || (mkdir(current.c_str(), 0777) != 0 && errno != EEXIST)) {
                return false;
            }
            if (lstat(current.c_str(), &st) != 0) {
                return false;
            }
        }
        if (!S_ISDIR(st.st_mode)) {
            return false;
        }
        knownFolders.insert(key);
    }
    return true;
}

bool CUnzipper::Impl::ExtractFile(const ZipEntryInfo& info, const fs::path& relative)
{
    if (!MakeFolderBelow(relative.parent_path())) {
        return false;
    }
    const fs::path target = root / relative;
    // Replace rather than overwrite: a link at the target is never followed, a hard link's other
    // names keep their contents, and a running program's file can be replaced.
    if (unlink(target.c_str()) != 0 && errno != ENOENT) {
        return false;
    }
    const std::optional<std::uint32_t> mode = info.UnixMode();
    int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    bool ok = unzOpenCurrentFile(archive) == UNZ_OK;
    if (ok) {
        // What is written must be exactly the declared size with the declared CRC, counted here:
        // the unzip layer leaves data that ends early or runs on unchecked.
        std::uint64_t written = 0;
        uLong crc = crc32(0L, Z_NULL, 0);
        for (;;) {
            if (Stopping()) {
                ok = false;
                break;
            }
            int got = unzReadCurrentFile(archive, chunk.data(), static_cast<unsigned>(chunk.size()));
            if (got < 0) {
                ok = false;
                break;
            }
            if (got == 0) {
                break;
            }
            written += static_cast<std::uint64_t>(got);
            if (written > info.uncompressedSize
                || !platform::WriteAll(fd, chunk.data(), static_cast<std::size_t>(got))) {
                ok = false;
                break;
            }
            crc = crc32(crc, reinterpret_cast<const Bytef*>(chunk.data()), static_cast<uInt>(got));
        }
        ok = ok && written == info.uncompressedSize && static_cast<std::uint32_t>(crc) == info.crc;
        ok = unzCloseCurrentFile(archive) == UNZ_OK && ok;
    }
    if (ok && mode) {
        // The stored permissions, without set-id or sticky bits and less the process's umask (a
        // file stored 0777 must not become writable by every user); the owner keeps read and
        // write so the game can be unpacked again and deleted.
        ok = fchmod(fd, static_cast<mode_t>(((*mode & 0777) | 0600) & ~createMask)) == 0;
    }
    if (ok) {
        (void)SetTimes(fd, info.dosDateTime); // an impossible date keeps the time of writing
    }
    ok = close(fd) == 0 && ok;
    if (!ok) {
        unlink(target.c_str()); // never leave a truncated file that looks installed
    }
    return ok;
}

std::optional<ZipEntryInfo> CUnzipper::Impl::CurrentInfo()
{
    if (archive == nullptr) {
        return std::nullopt;
    }
    unz_file_info64 raw{};
    char comment[256] = {};
    std::vector<char>& name = nameBuffer;
    if (unzGetCurrentFileInfo64(archive,
                                &raw,
                                name.data(),
                                static_cast<uLong>(name.size()),
                                nullptr,
                                0,
                                comment,
                                sizeof comment - 1)
        != UNZ_OK) {
        return std::nullopt;
    }
    ZipEntryInfo info;
    info.version = static_cast<std::uint32_t>(raw.version);
    info.versionNeeded = static_cast<std::uint32_t>(raw.version_needed);
    info.flags = static_cast<std::uint32_t>(raw.flag);
    info.method = static_cast<std::uint32_t>(raw.compression_method);
    info.dosDateTime = static_cast<std::uint32_t>(raw.dosDate);
    info.crc = static_cast<std::uint32_t>(raw.crc);
    info.compressedSize = raw.compressed_size;
    info.uncompressedSize = raw.uncompressed_size;
    info.externalAttributes = static_cast<std::uint32_t>(raw.external_fa);
    info.comment.assign(comment, std::min<std::size_t>(raw.size_file_comment, sizeof comment - 1));
    std::size_t nameLength = std::min<std::size_t>(raw.size_filename, name.size());
    info.name = DecodeEntryName(std::string_view(name.data(), nameLength), (info.flags & Utf8NameFlag) != 0, names)
                    .value_or(std::string());
    return info;
}

CUnzipper::CUnzipper()
    : m_impl(std::make_unique<Impl>())
{}

CUnzipper::~CUnzipper()
{
    Close();
}

bool CUnzipper::Open(const fs::path& path)
{
    Close();
    m_impl->archive = unzOpen64(path.c_str());
    m_impl->emptyArchive = m_impl->archive == nullptr && IsEmptyArchive(path);
    m_impl->names = NameEncoding::Utf8;
    if (m_impl->archive != nullptr) {
        m_impl->DecideNames();
    }
    if (IsOpen()) {
        m_impl->defaultFolder = fs::path(path).replace_extension();
    }
    return IsOpen();
}

void CUnzipper::Close()
{
    if (m_impl->archive != nullptr) {
        unzCloseCurrentFile(m_impl->archive);
        unzClose(m_impl->archive);
        m_impl->archive = nullptr;
    }
    m_impl->emptyArchive = false;
}

bool CUnzipper::IsOpen() const
{
    return m_impl->archive != nullptr || m_impl->emptyArchive;
}

const fs::path& CUnzipper::DefaultFolder() const
{
    return m_impl->defaultFolder;
}

NameEncoding CUnzipper::Names() const
{
    return m_impl->names;
}

void CUnzipper::SetStopFlag(const std::atomic<bool>* stop)
{
    m_impl->stop = stop;
}

std::optional<std::uint64_t> CUnzipper::EntryCount() const
{
    if (m_impl->emptyArchive) {
        return 0;
    }
    unz_global_info64 global{};
    if (m_impl->archive == nullptr || unzGetGlobalInfo64(m_impl->archive, &global) != UNZ_OK) {
        return std::nullopt;
    }
    return global.number_entry;
}

bool CUnzipper::GoToFirstEntry()
{
    return m_impl->archive != nullptr && unzGoToFirstFile(m_impl->archive) == UNZ_OK;
}

bool CUnzipper::GoToNextEntry()
{
    return m_impl->archive != nullptr && unzGoToNextFile(m_impl->archive) == UNZ_OK;
}

bool CUnzipper::GoToEntry(const std::string& name)
{
    for (bool more = GoToFirstEntry(); more; more = GoToNextEntry()) {
        std::optional<ZipEntryInfo> info = EntryInfo();
        if (info && info->name == name) {
            return true;
        }
    }
    return false;
}

std::optional<ZipEntryInfo> CUnzipper::EntryInfo()
{
    return m_impl->CurrentInfo();
}

bool CUnzipper::ExtractAll(const fs::path& folder)
{
    if (!IsOpen() || !m_impl->Begin(folder)) {
        return false;
    }
    std::optional<std::uint64_t> count = EntryCount();
    if (!count || *count == 0 || !GoToFirstEntry()) {
        return false;
    }
    for (std::uint64_t index = 0;; ++index) {
        if (m_impl->Stopping() || !m_impl->ExtractCurrent()) {
            return false;
        }
        if (!GoToNextEntry()) {
            return index + 1 >= *count; // a list that ends early is damaged
        }
    }
}

bool CUnzipper::ExtractEntry(const fs::path& folder)
{
    return m_impl->archive != nullptr && m_impl->Begin(folder) && m_impl->ExtractCurrent();
}

bool CUnzipper::MakeFolder(const fs::path& path)
{
    std::error_code ec;
    fs::file_status status = fs::status(path, ec);
    if (fs::exists(status)) {
        return fs::is_directory(status);
    }
    fs::path parent = path.parent_path();
    if (!path.has_filename()) {
        return MakeFolder(parent); // "…/7/" is the folder 7
    }
    if (!parent.empty() && parent != path && !MakeFolder(parent)) {
        return false;
    }
    if (mkdir(path.c_str(), 0777) == 0) {
        return true;
    }
    return errno == EEXIST && fs::is_directory(path, ec);
}

bool CUnzipper::SetFileTime(const fs::path& path, std::uint32_t dosDateTime)
{
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    bool ok = SetTimes(fd, dosDateTime);
    return close(fd) == 0 && ok;
}

} // namespace install
