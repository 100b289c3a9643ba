// The marlune executable: a portable copy keeps its files in its own folder, an installed one in
// the user's data folder (store/ProgramFolder.h).

#include <QApplication>

#include "app/CZandor_ClientApp.h"
#include "app/StartupProbe.h"
#include "store/ProgramFolder.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // The installed launcher's name, by which a desktop ties the windows to it.
    QGuiApplication::setDesktopFileName(QStringLiteral(MARLUNE_APP_ID));
    app::AppOptions options;
    store::ProgramLayout layout = store::ThisProgramLayout();
    options.programDir = std::move(layout.programDir);
    options.skinFile = std::move(layout.skinFile);
    options.bundleDir = std::move(layout.bundleDir);
    app::InstallStartupProbe(options);
    app::CZandor_ClientApp program(std::move(options));
    program.Run();
    return 0;
}
