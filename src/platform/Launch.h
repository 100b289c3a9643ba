#pragma once

// Starting other programs.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Starts the program detached, without arguments, in its own session with the working folder
// given; the caller never waits for it and no zombie is left behind (it is started through an
// intermediate process that ends at once). A script without a "#!" line runs under /bin/sh; a
// script that lacks the execute bit runs under the interpreter of its "#!" line. True when the
// program was executed; false (with nothing running) when it could not be. Any thread.
[[nodiscard]] bool StartDetached(const std::filesystem::path& program, const std::filesystem::path& workingFolder);

// Runs a command found on PATH (argv[0]) with its output discarded and waits for it, at most for
// the limit (then it is killed). Its exit code, or nothing when it could not run or was killed.
[[nodiscard]] std::optional<int> RunAndWait(const std::vector<std::string>& argv,
                                            std::chrono::milliseconds limit = std::chrono::seconds(5));

} // namespace platform
