// The marlune executable: the program directory is the executable's folder.

#include <QApplication>

#include "app/CZandor_ClientApp.h"
#include "app/StartupProbe.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    app::AppOptions options;
    options.programDir = app::CZandor_ClientApp::ProgramDirOf(QCoreApplication::applicationDirPath());
    app::InstallStartupProbe(options);
    app::CZandor_ClientApp program(std::move(options));
    program.Run();
    return 0;
}
