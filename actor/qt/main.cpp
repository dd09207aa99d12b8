// kobalactor: one actor per process, started with the actor file's path.
#include <QApplication>
#include <csignal>
#include <cstdlib>

#include "actor/qt/actor_app.h"
#include "common/install_path.h"
#include "common/qt/qt_support.h"

int main(int argc, char** argv) {
    // Actors place themselves at absolute positions: under Wayland they run
    // through XWayland unless a platform is chosen.
    if (!std::getenv("QT_QPA_PLATFORM") && std::getenv("WAYLAND_DISPLAY")) setenv("QT_QPA_PLATFORM", "xcb", 1);
    // A hub that vanished must not kill the member writing to it.
    std::signal(SIGPIPE, SIG_IGN);

    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    // The whole command line: the arguments joined by single blanks.
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) commandLine += ' ';
        commandLine += argv[i];
    }

    return kobal::qt::RunGuarded(kobal::actor::ActorRuntime::kProgramName, [&] {
        kobal::qt::QtInstallPathStore store;
        const std::string installPath = kobal::ReadInstallPath(
            store, kobal::DefaultInstallPath(kobal::qt::S(QCoreApplication::applicationDirPath())));
        kobal::actor::qt::ActorApp actor;
        actor.Start(commandLine, installPath);
        return QApplication::exec();
    });
}
