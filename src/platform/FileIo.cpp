#include "platform/FileIo.h"

#include <cerrno>
#include <cstdint>

#include <sys/mman.h>
#include <unistd.h>

namespace platform {

bool WriteAll(int fd, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void AdviseHugePages(void* data, std::size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t Huge = std::uintptr_t{1} << 21;
    if (bytes < 4 * Huge) {
        return;
    }
    const auto address = reinterpret_cast<std::uintptr_t>(data);
    const std::size_t skip = (Huge - address % Huge) % Huge;
    const std::size_t whole = (bytes - skip) / Huge * Huge;
    if (whole > 0) {
        ::madvise(static_cast<char*>(data) + skip, whole, MADV_HUGEPAGE);
    }
#else
    static_cast<void>(data);
    static_cast<void>(bytes);
#endif
}

} // namespace platform
