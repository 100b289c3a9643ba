#pragma once

// The per-user single-instance lock: an exclusive flock on a lock file in the user's runtime
// folder. The kernel releases it when its holder ends, however it ends, so a crashed copy never
// blocks the next start. No Qt.

#include <filesystem>

namespace app {

enum class LockResult
{
    Acquired,      // this object holds the lock now
    CannotCreate,  // the lock file cannot be opened (or is not a plain file of this user)
    WaitFailed,    // taking the lock failed for a reason other than another holder
    HeldElsewhere, // another copy holds it
};

class InstanceLock
{
public:
    // $XDG_RUNTIME_DIR/marlune.lock when that folder is set, absolute and exists; otherwise
    // /tmp/marlune-<uid>.lock.
    [[nodiscard]] static std::filesystem::path DefaultPath();

    explicit InstanceLock(std::filesystem::path path);
    ~InstanceLock(); // releases
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    InstanceLock(InstanceLock&&) = delete;
    InstanceLock& operator=(InstanceLock&&) = delete;

    // Tries once, without waiting. The file is created when missing (mode 0600); a symbolic link,
    // or a file of another user, is refused (CannotCreate). Calling it again while held: Acquired.
    [[nodiscard]] LockResult Acquire();
    // Releases the lock (the file stays, so that no second copy can race on a new file).
    void Release();
    bool Held() const { return m_fd >= 0; }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
    int m_fd = -1;
};

} // namespace app
