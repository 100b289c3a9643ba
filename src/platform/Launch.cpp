#include "platform/Launch.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string_view>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {
namespace {

// An argument vector whose strings stay alive as long as it does; built before fork() because the
// child may only make async-signal-safe calls.
class ArgVector
{
public:
    explicit ArgVector(std::vector<std::string> args)
        : m_args(std::move(args))
    {
        for (std::string& arg : m_args) {
            m_pointers.push_back(arg.data());
        }
        m_pointers.push_back(nullptr);
    }
    ArgVector(const ArgVector&) = delete;
    ArgVector& operator=(const ArgVector&) = delete;
    ArgVector(ArgVector&&) = delete;
    ArgVector& operator=(ArgVector&&) = delete;
    ~ArgVector() = default;

    bool Empty() const { return m_args.empty(); }
    const char* Path() const { return m_args.front().c_str(); }
    char* const* Argv() const { return m_pointers.data(); }

private:
    std::vector<std::string> m_args;
    std::vector<char*> m_pointers;
};

// The interpreter and its optional argument from a "#!" line, as the kernel reads them.
std::vector<std::string> ShebangOf(const std::filesystem::path& script)
{
    std::ifstream in(script, std::ios::binary);
    std::string line;
    if (!in || !std::getline(in, line) || !line.starts_with("#!")) {
        return {};
    }
    line.erase(0, 2);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t begin = 0;
    while (begin < line.size() && isBlank(line[begin])) {
        ++begin;
    }
    std::size_t end = begin;
    while (end < line.size() && !isBlank(line[end])) {
        ++end;
    }
    if (end == begin) {
        return {};
    }
    std::vector<std::string> result{line.substr(begin, end - begin)};
    std::size_t argBegin = end;
    while (argBegin < line.size() && isBlank(line[argBegin])) {
        ++argBegin;
    }
    std::size_t argEnd = line.size();
    while (argEnd > argBegin && isBlank(line[argEnd - 1])) {
        --argEnd;
    }
    if (argEnd > argBegin) {
        result.push_back(line.substr(argBegin, argEnd - argBegin));
    }
    return result;
}

bool StartsWithElfMagic(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    char magic[4] = {};
    return in.read(magic, 4) && magic[0] == '\x7f' && magic[1] == 'E' && magic[2] == 'L' && magic[3] == 'F';
}

// Child side only: async-signal-safe calls from here on.
void ResetSignals()
{
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction dfl
    {};
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) {
        sigaction(sig, &dfl, nullptr);
    }
}

[[noreturn]] void ReportAndExit(int fd, int error)
{
    ssize_t written = write(fd, &error, sizeof error);
    (void)written;
    _exit(127);
}

bool ReadChildError(int fd)
{
    int error = 0;
    ssize_t got;
    do {
        got = read(fd, &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    return got == 0; // end of file: the exec closed the pipe
}

void WaitChild(pid_t pid)
{
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
}

// The command's path: as given when it has a "/", else the first executable of that name on PATH.
// Looked up before fork(), where only async-signal-safe calls may follow.
std::string FindOnPath(const std::string& command)
{
    if (command.find('/') != std::string::npos) {
        return command;
    }
    const char* path = std::getenv("PATH"); // NOLINT(concurrency-mt-unsafe): the program never sets variables
    std::string_view dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        std::size_t colon = dirs.find(':');
        std::string dir(dirs.substr(0, colon));
        std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + command;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        if (colon == std::string_view::npos) {
            return {};
        }
        dirs.remove_prefix(colon + 1);
    }
}

} // namespace

bool StartDetached(const std::filesystem::path& program, const std::filesystem::path& workingFolder)
{
    std::string path = program.string();
    std::string folder = workingFolder.string();
    if (path.empty()) {
        return false;
    }
    std::vector<std::string> direct{path};
    if (access(path.c_str(), X_OK) != 0) {
        std::vector<std::string> shebang = ShebangOf(program);
        if (!shebang.empty()) {
            shebang.push_back(path);
            direct = std::move(shebang);
        } else if (!StartsWithElfMagic(program) && access(path.c_str(), R_OK) == 0) {
            direct = {"/bin/sh", path};
        } else {
            return false;
        }
    }
    const ArgVector primary(direct);
    const ArgVector viaShell({"/bin/sh", path}); // a script without "#!" line, as execvp does
    int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        if (devNull >= 0) {
            close(devNull);
        }
        return false;
    }
    pid_t child = fork();
    if (child == 0) {
        setsid();
        pid_t grandchild = fork();
        if (grandchild < 0) {
            ReportAndExit(pipeFds[1], errno);
        }
        if (grandchild > 0) {
            _exit(0); // the program is reparented and never becomes our zombie
        }
        close(pipeFds[0]);
        ResetSignals();
        if (devNull >= 0) {
            dup2(devNull, STDIN_FILENO);
        }
        if (!folder.empty() && chdir(folder.c_str()) != 0) {
            ReportAndExit(pipeFds[1], errno);
        }
        execv(primary.Path(), primary.Argv());
        if (errno == ENOEXEC) {
            execv(viaShell.Path(), viaShell.Argv());
        }
        ReportAndExit(pipeFds[1], errno);
    }
    close(pipeFds[1]);
    if (devNull >= 0) {
        close(devNull);
    }
    bool started = false;
    if (child > 0) {
        WaitChild(child);
        started = ReadChildError(pipeFds[0]);
    }
    close(pipeFds[0]);
    return started;
}

std::optional<int> RunAndWait(const std::vector<std::string>& argv, std::chrono::milliseconds limit)
{
    if (argv.empty()) {
        return std::nullopt;
    }
    const std::string program = FindOnPath(argv.front());
    if (program.empty()) {
        return std::nullopt;
    }
    const ArgVector args(argv);
    int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        if (devNull >= 0) {
            close(devNull);
        }
        return std::nullopt;
    }
    pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        ResetSignals();
        if (devNull >= 0) {
            dup2(devNull, STDIN_FILENO);
            dup2(devNull, STDOUT_FILENO);
            dup2(devNull, STDERR_FILENO);
        }
        execv(program.c_str(), args.Argv());
        ReportAndExit(pipeFds[1], errno);
    }
    close(pipeFds[1]);
    if (devNull >= 0) {
        close(devNull);
    }
    if (child < 0) {
        close(pipeFds[0]);
        return std::nullopt;
    }
    const bool executed = ReadChildError(pipeFds[0]);
    close(pipeFds[0]);
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) {
            break;
        }
        if (done < 0 && errno != EINTR) {
            return std::nullopt;
        }
        if (std::chrono::steady_clock::now() >= end) {
            kill(child, SIGKILL);
            WaitChild(child);
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!executed || !WIFEXITED(status)) {
        return std::nullopt;
    }
    return WEXITSTATUS(status);
}

} // namespace platform
