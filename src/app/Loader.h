#pragma once

// Starts the program's loader thread for the splash: it fills the stores and reports its stages to
// the splash handle.

#include <functional>
#include <memory>
#include <string>

#include "platform/HandleTable.h"

namespace store {
struct Stores;
}

namespace app {

// A loader as started.
struct StartedLoader
{
    // Keeps the thread alive (idle once loading is done); releasing it waits for the loading to end
    // and stops the thread.
    std::shared_ptr<void> thread;
    // Makes the loading end at once: its network requests end and it finishes its local steps.
    // Optional; called on the GUI thread while thread is held.
    std::function<void()> abort;
};

[[nodiscard]] StartedLoader
StartProgramLoader(platform::WindowHandle splash, store::Stores& stores, const std::string& programDir);

} // namespace app
