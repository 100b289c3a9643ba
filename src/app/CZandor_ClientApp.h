#pragma once

// The application: one run of the program from the single-instance check to shutdown. It holds
// the shared stores, the skin theme and the interface texts for every window and thread.
// GUI thread only; needs a QApplication.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include <QString>

#include "app/Loader.h"
#include "platform/HandleTable.h"
#include "store/Stores.h"

namespace views {
class SkinTheme;
class UiTexts;
} // namespace views

namespace app {

class CZandor_ClientDlg;
class CloseRequests;
class InstanceLock;
class LoadingDlg;

// What one run is given.
struct AppOptions
{
    // The program directory, ending in "/"; the data files and the working folders live in it.
    std::string programDir;
    // The skin file; empty: skin.rcc in the program directory.
    std::filesystem::path skinFile;
    // Installed: the installation's folder whose catalogue and pictures a new program directory
    // starts with (store/ProgramFolder.h). Empty: a portable copy.
    std::filesystem::path bundleDir;
    // The single-instance lock; the close socket lies beside it.
    std::filesystem::path lockFile;
    // Shows a failure before the skin exists; by default the system's message box "Marlune".
    std::function<void(const QString& text)> report;
    // Called once each window exists, before it is shown (tests and measurements look inside).
    std::function<void(LoadingDlg&)> splashCreated;
    std::function<void(CZandor_ClientDlg&)> mainWindowCreated;
    // Starts the loader reporting to the splash handle; returns what keeps it alive (stopped when
    // released) and how to cut it short. By default the program's loader thread.
    std::function<StartedLoader(platform::WindowHandle splash, store::Stores& stores, const std::string& programDir)>
        startLoader;
};

class CZandor_ClientApp
{
public:
    // How a run ended.
    enum class Outcome
    {
        Ran,              // the main window ran and the state was saved
        CannotCreateLock, // "Create mutex error."
        CannotWaitLock,   // "Wait for mutex error."
        AlreadyRunning,   // "该程序正在运行！"
        SkinMissing,      // "加载皮肤文件失败"
    };

    explicit CZandor_ClientApp(AppOptions options);
    ~CZandor_ClientApp();
    CZandor_ClientApp(const CZandor_ClientApp&) = delete;
    CZandor_ClientApp& operator=(const CZandor_ClientApp&) = delete;
    CZandor_ClientApp(CZandor_ClientApp&&) = delete;
    CZandor_ClientApp& operator=(CZandor_ClientApp&&) = delete;

    // The whole life of the program. Returns when the main window's run has ended and the state
    // has been written, or at once after an early failure (nothing written then).
    Outcome Run();

    // The executable's folder with "/" separators and a trailing "/".
    [[nodiscard]] static std::string ProgramDirOf(const QString& executableFolder);
    // The system's message box: caption "Marlune", the text, an OK button, no owner.
    static void SystemMessageBox(const QString& text);
    // The least width of that box: room for the title beside a window manager's frame buttons.
    [[nodiscard]] static int SystemBoxMinWidth(const QString& title);

    const std::string& ProgramDir() const { return m_options.programDir; }
    store::Stores& Stores() { return m_stores; }
    const views::SkinTheme* Theme() const { return m_theme.get(); }
    const views::UiTexts* Texts() const { return m_texts.get(); }

private:
    void Report(const QString& text) const;
    void MakeFolders() const;
    // Runs the splash until the loading is done; false when a close request ended it first (the
    // loading was then cut short and has ended).
    bool RunSplash();
    void StopLoader();
    void SaveState() const;

    AppOptions m_options;
    store::Stores m_stores;
    std::unique_ptr<InstanceLock> m_lock;
    std::unique_ptr<CloseRequests> m_closeRequests;
    std::unique_ptr<views::SkinTheme> m_theme;
    std::unique_ptr<views::UiTexts> m_texts;
    StartedLoader m_loader; // the loader thread, idle after loading; stopped at exit
};

} // namespace app
