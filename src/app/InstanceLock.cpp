#include "app/InstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace app {

std::filesystem::path InstanceLock::DefaultPath()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && runtime[0] == '/') {
        std::error_code error;
        if (std::filesystem::is_directory(runtime, error)) {
            return std::filesystem::path(runtime) / "marlune.lock";
        }
    }
    return std::filesystem::path("/tmp") / ("marlune-" + std::to_string(::getuid()) + ".lock");
}

InstanceLock::InstanceLock(std::filesystem::path path)
    : m_path(std::move(path))
{}

InstanceLock::~InstanceLock()
{
    Release();
}

LockResult InstanceLock::Acquire()
{
    if (m_fd >= 0) {
        return LockResult::Acquired;
    }
    // O_NOFOLLOW: in a shared folder such as /tmp another user could plant a link to our files.
    const int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return LockResult::CannotCreate;
    }
    struct stat info
    {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        ::close(fd);
        return LockResult::CannotCreate;
    }
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return held ? LockResult::HeldElsewhere : LockResult::WaitFailed;
    }
    m_fd = fd;
    return LockResult::Acquired;
}

void InstanceLock::Release()
{
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
        m_fd = -1;
    }
}

} // namespace app
