#include "install/UnzipThread.h"

#include <system_error>
#include <utility>

#include "install/GameConfig.h"
#include "install/Unpack.h"
#include "platform/Launch.h"
#include "platform/Processes.h"
#include "platform/Trash.h"

namespace install {
namespace {

namespace fs = std::filesystem;
namespace msg = platform::msg;

bool IsFolder(const fs::path& path)
{
    std::error_code ec;
    return fs::is_directory(path, ec);
}

bool IsFile(const fs::path& path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

// Ends every running copy of the program. False when one could not be ended.
bool StopRunningCopies(const fs::path& executable)
{
    bool stopped = true;
    for (const platform::ProcessInfo& process : platform::ListProcesses()) {
        if (platform::RunsProgram(process, executable)) {
            stopped = platform::TerminateProcess(process.pid) && stopped;
        }
    }
    return stopped;
}

} // namespace

UnzipThread::UnzipThread(std::string programDir, platform::WindowHandle mainWindow, ShortcutSetting shortcut)
    : m_programDir(std::move(programDir))
    , m_mainWindow(mainWindow)
    , m_shortcut(std::move(shortcut))
{
    m_thread.On(msg::UnzipOpen,
                [this](const platform::Message& message) { (void)OpenGame(platform::HiWord(message.wParam)); });
    m_thread.On(msg::UnzipRemove,
                [this](const platform::Message& message) { (void)RemoveGame(platform::HiWord(message.wParam)); });
}

UnzipThread::~UnzipThread()
{
    Stop();
}

void UnzipThread::Start()
{
    m_stopping.store(false);
    m_thread.Start();
}

void UnzipThread::Stop()
{
    m_stopping.store(true); // an unpacking under way ends at its next chunk
    m_thread.Stop();
}

void UnzipThread::PostResult(std::uint32_t id, std::uint32_t code)
{
    const std::uint32_t tell = code == msg::open_result::Started ? 0 : 1;
    platform::PostMessageTo(m_mainWindow,
                            msg::GameAction,
                            platform::PackWords(id, msg::game_action::Result),
                            platform::PackWords(code, tell));
}

bool UnzipThread::StartGame(const std::string& executable, const std::string& gameFolder, const std::string& name)
{
    // A package made without Unix permissions has no execute bits.
    (void)EnsureExecutable(executable);
    (void)MakeDesktopShortcut(m_shortcut && m_shortcut(), executable, gameFolder, name);
    return platform::StartDetached(executable, gameFolder);
}

std::uint32_t UnzipThread::OpenGame(std::uint32_t id)
{
    const std::string gamesRoot = m_programDir + "game";
    std::error_code ec;
    fs::create_directories(gamesRoot, ec);
    const std::string package = m_programDir + "download/" + std::to_string(id) + ".zip";
    const std::string gameFolder = gamesRoot + "/" + std::to_string(id) + "/";

    auto finish = [&](std::uint32_t code) {
        PostResult(id, code);
        return code;
    };
    auto installedExecutable = [&]() -> std::pair<std::string, std::string> {
        if (!IsFile(gameFolder + "index.dat")) {
            return {};
        }
        std::string name = ReadExecutableName(gameFolder);
        std::string executable = ExecutablePathForOpen(gameFolder, name);
        return {name, name.empty() || !ExecutableExists(gameFolder, executable) ? std::string() : executable};
    };

    // Only a folder whose last unpacking ran to its end counts as installed; anything else is
    // unpacked again from the package.
    if (IsFolder(gameFolder) && UnpackedNames(gameFolder)) {
        auto [name, executable] = installedExecutable();
        if (!executable.empty()) {
            (void)StartGame(executable, gameFolder, name); // the start's own result is not looked at
            return finish(msg::open_result::Started);
        }
    }
    switch (UnpackGame(package, gameFolder, &m_stopping)) {
    case UnpackResult::Unpacked:
        break;
    case UnpackResult::PackageUnreadable:
        return finish(msg::open_result::PackageUnreadable);
    case UnpackResult::Failed:
        return finish(msg::open_result::ExtractFailed);
    case UnpackResult::Stopped:
        return msg::open_result::ExtractFailed; // the program is ending: nobody to tell
    }
    if (!IsFile(gameFolder + "index.dat")) {
        return finish(msg::open_result::NoConfig);
    }
    auto [name, executable] = installedExecutable();
    if (executable.empty()) {
        return finish(msg::open_result::NoExecutable);
    }
    (void)StartGame(executable, gameFolder, name);
    return finish(msg::open_result::Started);
}

bool UnzipThread::RemoveGame(std::uint32_t id)
{
    const std::string package = m_programDir + "download/" + std::to_string(id) + ".zip";
    const std::string gameFolder = m_programDir + "game/" + std::to_string(id);
    if (IsFolder(gameFolder)) {
        const std::string name = ReadExecutableName(gameFolder);
        const std::string executable = ExecutablePathForRemove(gameFolder, name);
        if (!name.empty() && ExecutableExists(gameFolder, executable) && !StopRunningCopies(executable)) {
            return false; // a copy that cannot be ended keeps its files
        }
        (void)ForgetUnpacked(gameFolder);
        (void)platform::MoveToTrash(gameFolder);
    }
    std::error_code ec;
    if (IsFile(package)) {
        fs::remove(package, ec);
    }
    platform::PostMessageTo(m_mainWindow, msg::GameAction, platform::PackWords(id, msg::game_action::Removed), 0);
    return true;
}

} // namespace install
