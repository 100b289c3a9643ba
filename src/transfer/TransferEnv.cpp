#include "transfer/TransferEnv.h"

#include <sys/statvfs.h>

#include "install/Unpack.h"

namespace transfer {

std::optional<std::uint64_t> TransferEnv::FreeBytes(const std::string& dir) const
{
    struct statvfs info = {};
    if (dir.empty() || ::statvfs(dir.c_str(), &info) != 0) {
        return std::nullopt;
    }
    // The blocks this process may use (without the part kept back for the superuser).
    return static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize);
}

bool TransferEnv::Unpack(const std::string& package, const std::string& folder, const std::atomic<bool>& stop) const
{
    return install::UnpackPackage(package, folder, &stop);
}

std::shared_ptr<const TransferEnv> SystemTransferEnv()
{
    static const auto env = std::make_shared<const TransferEnv>();
    return env;
}

} // namespace transfer
