// kobaltron: opens an actor file or a playlist and starts one actor process
// per compatible actor, after the splash window when the settings ask for it.
#include <iostream>

#include "common/command_line.h"
#include "common/install_path.h"
#include "common/qt/process_setup.h"
#include "common/qt/qt_support.h"
#include "launcher/launcher.h"
#include "launcher/qt/launcher_ports.h"

int main(int argc, char** argv) {
    using namespace kobal::launcher;
    using namespace kobal::launcher::qt;

    const kobal::ProgramHelp help{"kobaltron",
                                  "FILE.kact|FILE.kpls",
                                  "Opens an actor file or a playlist and starts one actor process for each\n"
                                  "compatible actor. The whole command line is the one file name; it may\n"
                                  "stand in double quotes. A relative name is read from the working\n"
                                  "directory, else below the install directory.",
                                  {}};
    const kobal::StandardOptions options = kobal::ReadStandardOptions(kobal::ArgumentsOf(argc, argv), help, std::cout);
    if (options.exitStatus) return *options.exitStatus;
    kobal::qt::PrepareProcess();
    const std::string commandLine = kobal::JoinArguments(options.args);
    const std::string programName = argc > 0 && argv[0] ? argv[0] : "kobaltron";
    LazyApplication app(programName);
    LauncherMessageBoxes boxes(app);
    kobal::qt::QtInstallPathStore installPath;
    QtProcessStarter starter;
    QtSplash splash(app);

    return kobal::qt::RunGuarded("Kobaltron", [&] {
        ActorLauncher launcher({boxes, installPath, starter, splash,
                                kobal::DefaultInstallPath(ProgramDirectory(programName)),
                                kobal::UserPlacesFromEnvironment()});
        try {
            launcher.LaunchFromCommandLine(commandLine);
        } catch (const std::exception&) {
            // The error report is a message box like any other.
            app.EnsureForDialogs();
            throw;
        }
        return 0;
    });
}
