#pragma once

// The running processes, read from /proc, and their termination.

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/types.h>

namespace platform {

struct ProcessInfo
{
    pid_t pid = 0;
    std::filesystem::path executable;    // target of /proc/<pid>/exe; empty when unreadable
    std::filesystem::path workingFolder; // target of /proc/<pid>/cwd; empty when unreadable
    std::vector<std::string> arguments;  // /proc/<pid>/cmdline split at its NUL bytes
};

// Every process of the system that can be inspected, except zombies. Never fails: what cannot be
// read is left out or left empty. Any thread.
[[nodiscard]] std::vector<ProcessInfo> ListProcesses();

// True when the process runs the program at path: its executable is that file, or the program is
// a script whose path is argv[0] or the script argument of its interpreter (argv[1], or argv[2]
// after one interpreter option). Paths are compared exactly, after resolving symbolic links and
// relative arguments (against the process's working folder); letter case matters.
[[nodiscard]] bool RunsProgram(const ProcessInfo& process, const std::filesystem::path& path);

// Ends the process: SIGTERM, then SIGKILL when it is still alive after the grace time. When the
// process leads its own process group (as a detached program does), the group gets the signals
// too, so a script's children end with it. True once the process is gone (or a zombie); false when
// it may not be signalled or does not end. Never signals the calling process. Any thread.
[[nodiscard]] bool TerminateProcess(pid_t pid, std::chrono::milliseconds grace = std::chrono::milliseconds(2000));

} // namespace platform
