#pragma once

// What a download needs of the machine, as an interface so that tests can put a full disk or a
// failing unpack in its place.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace transfer {

class TransferEnv
{
public:
    virtual ~TransferEnv() = default;
    // Bytes free for this process on the volume that holds dir; nullopt when that cannot be had.
    // Any thread.
    [[nodiscard]] virtual std::optional<std::uint64_t> FreeBytes(const std::string& dir) const;
    // Unpacks the zip package into folder (created when missing); stops between chunks once stop
    // is set. The game counts as unpacked only when this returned true. Worker threads.
    [[nodiscard]] virtual bool
    Unpack(const std::string& package, const std::string& folder, const std::atomic<bool>& stop) const;
};

// The machine itself: statvfs for free space, the install library for unpacking.
[[nodiscard]] std::shared_ptr<const TransferEnv> SystemTransferEnv();

} // namespace transfer
