#pragma once

// Small file-descriptor and memory helpers shared by the modules that write files.

#include <cstddef>

namespace platform {

// Writes every byte to fd, going on after interrupted writes. False on the first failing write,
// with errno left as that write set it.
[[nodiscard]] bool WriteAll(int fd, const void* data, std::size_t size);

// Asks the system to back a buffer of many megabytes with huge pages, where it does that on
// request, so that the first touch of a large text costs a few page faults instead of thousands.
// Small buffers, and systems without the feature, are left as they are.
void AdviseHugePages(void* data, std::size_t bytes);

} // namespace platform
