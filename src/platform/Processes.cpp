#include "platform/Processes.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>
#include <thread>

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

namespace platform {
namespace {

std::filesystem::path ReadLink(const std::string& link)
{
    std::error_code ec;
    std::filesystem::path target = std::filesystem::read_symlink(link, ec);
    return ec ? std::filesystem::path() : target;
}

std::string ReadWholeFile(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The state letter of /proc/<pid>/stat (after the parenthesised command name), or 0.
char ProcessState(pid_t pid)
{
    std::string stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
    std::size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) {
        return 0;
    }
    return stat[close + 2];
}

bool IsGone(pid_t pid)
{
    if (kill(pid, 0) != 0 && errno == ESRCH) {
        return true;
    }
    char state = ProcessState(pid);
    return state == 0 || state == 'Z' || state == 'X' || state == 'x';
}

bool WaitGone(pid_t pid, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!IsGone(pid)) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::filesystem::path Resolved(const std::filesystem::path& path)
{
    std::error_code ec;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
    return ec ? path.lexically_normal() : resolved;
}

} // namespace

std::vector<ProcessInfo> ListProcesses()
{
    std::vector<ProcessInfo> processes;
    DIR* dir = opendir("/proc");
    if (dir == nullptr) {
        return processes;
    }
    while (const dirent* entry = readdir(dir)) { // NOLINT(concurrency-mt-unsafe): the stream is ours alone
        const char* name = entry->d_name;
        if (name[0] < '1' || name[0] > '9') {
            continue;
        }
        char* end = nullptr;
        long pid = std::strtol(name, &end, 10);
        if (*end != '\0' || pid <= 0) {
            continue;
        }
        char state = ProcessState(static_cast<pid_t>(pid));
        if (state == 0 || state == 'Z' || state == 'X' || state == 'x') {
            continue;
        }
        std::string base = std::string("/proc/") + name;
        ProcessInfo info;
        info.pid = static_cast<pid_t>(pid);
        info.executable = ReadLink(base + "/exe");
        info.workingFolder = ReadLink(base + "/cwd");
        std::string cmdline = ReadWholeFile(base + "/cmdline");
        std::size_t start = 0;
        while (start < cmdline.size()) {
            std::size_t nul = cmdline.find('\0', start);
            if (nul == std::string::npos) {
                nul = cmdline.size();
            }
            info.arguments.push_back(cmdline.substr(start, nul - start));
            start = nul + 1;
        }
        processes.push_back(std::move(info));
    }
    closedir(dir);
    return processes;
}

bool RunsProgram(const ProcessInfo& process, const std::filesystem::path& path)
{
    const std::filesystem::path target = Resolved(path);
    if (!process.executable.empty() && process.executable == target) {
        return true;
    }
    // A script runs as its interpreter: "interpreter [one option] script".
    std::vector<std::size_t> candidates{0, 1};
    if (process.arguments.size() > 2 && process.arguments[1].starts_with('-')) {
        candidates.push_back(2);
    }
    for (std::size_t index : candidates) {
        if (index >= process.arguments.size() || process.arguments[index].empty()) {
            continue;
        }
        std::filesystem::path argument(process.arguments[index]);
        if (argument.filename() != target.filename()) {
            continue; // cheap filter before touching the file system
        }
        if (argument.is_relative()) {
            if (process.workingFolder.empty()) {
                continue;
            }
            argument = process.workingFolder / argument;
        }
        if (Resolved(argument) == target) {
            return true;
        }
    }
    return false;
}

bool TerminateProcess(pid_t pid, std::chrono::milliseconds grace)
{
    if (pid <= 0 || pid == getpid()) {
        return false;
    }
    const bool leadsOwnGroup = getpgid(pid) == pid && pid != getpgrp();
    auto send = [&](int signal) {
        if (leadsOwnGroup) {
            kill(-pid, signal); // its children too; the leader itself is checked below
        }
        return kill(pid, signal) == 0 || errno == ESRCH;
    };
    if (!send(SIGTERM)) {
        return false; // not ours to signal
    }
    if (WaitGone(pid, grace)) {
        return true;
    }
    if (!send(SIGKILL)) {
        return false;
    }
    return WaitGone(pid, std::chrono::milliseconds(5000));
}

} // namespace platform
