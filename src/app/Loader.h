#pragma once

// Starts the program's loader thread for the splash: it fills the stores and reports its stages to
// the splash handle; the returned object keeps the thread alive (idle once loading is done) and
// stops it when released.

#include <memory>
#include <string>

#include "platform/HandleTable.h"

namespace store {
struct Stores;
}

namespace app {

[[nodiscard]] std::shared_ptr<void>
StartProgramLoader(platform::WindowHandle splash, store::Stores& stores, const std::string& programDir);

} // namespace app
