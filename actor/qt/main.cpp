// kobalactor: one actor per process, started with the actor file's path.
#include <malloc.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>

#include "actor/qt/actor_app.h"
#include "actor/qt/frame_counter.h"
#include "actor/qt/paced_timers.h"
#include "actor/virtual_time.h"
#include "common/command_line.h"
#include "common/install_path.h"
#include "common/qt/display_check.h"
#include "common/qt/fit_text.h"
#include "common/qt/process_setup.h"
#include "common/qt/qt_support.h"
#include "common/user_places.h"

namespace {

const kobal::ProgramHelp kHelp{"kobalactor",
                               "ACTORFILE",
                               "Shows and animates one actor; the launcher kobaltron starts it.\n"
                               "The whole command line after the program name is the actor file's path.",
                               {}};

}  // namespace

int main(int argc, char** argv) {
    const kobal::StandardOptions options = kobal::ReadStandardOptions(kobal::ArgumentsOf(argc, argv), kHelp, std::cout);
    if (options.exitStatus) return *options.exitStatus;
    kobal::qt::PrepareProcess();
    // Actors place themselves at absolute positions: under Wayland they run
    // through XWayland unless a platform is chosen.
    if (!std::getenv("QT_QPA_PLATFORM") && std::getenv("WAYLAND_DISPLAY")) setenv("QT_QPA_PLATFORM", "xcb", 1);
    // A hub that vanished must not kill the member writing to it.
    std::signal(SIGPIPE, SIG_IGN);
    // Seven actors are seven processes: Qt's helper threads share the one
    // heap rather than each keep an arena of its own.
    mallopt(M_ARENA_MAX, 1);

    // For tests only: the same choices as kobalcheck --run with that seed.
    std::optional<uint64_t> testSeed;
    try {
        testSeed = kobal::actor::ParseTestSeed(std::getenv(kobal::actor::kTestSeedVariable));
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "kobalactor: %s\n", e.what());
        return 2;
    }
    // For the desktop benchmark: the directory that holds each actor's frame count.
    const char* frameCounter = std::getenv("KOBALACTOR_FRAME_COUNTER");

    // Pictures scale by whole factors only (1.5 becomes 2): every picture
    // pixel is then a square block of device pixels and the shape cut from
    // the picture fits it exactly.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::Round);
    // After "--" Qt sees no argument: the name is the actor file's, whatever it looks like.
    int qtArgc = options.separated ? 1 : argc;
    std::optional<kobal::qt::DisplayGuard> display(std::in_place, kHelp.name, qtArgc, argv);
    // An actor takes no typed text: no input method plugin (nor, with one
    // like ibus, its bus connection) is loaded into each actor process.
    std::optional<kobal::qt::ScopedEnvironment> noInputMethod(std::in_place, "QT_IM_MODULE", "none");
    QApplication app(qtArgc, argv);
    noInputMethod.reset();
    display.reset();
    kobal::qt::WatchTerminationOnEventLoop();
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(kobal::qt::ProductIcon());

    // The whole command line: the arguments (those Qt left) joined by single blanks.
    const std::string commandLine =
        options.separated ? kobal::JoinArguments(options.args) : kobal::JoinArguments(kobal::ArgumentsOf(qtArgc, argv));

    return kobal::qt::RunGuarded(kobal::actor::ActorRuntime::kProgramName, [&] {
        kobal::qt::QtInstallPathStore store;
        const std::string installPath = kobal::ReadInstallPath(
            store, kobal::DefaultInstallPath(kobal::qt::S(QCoreApplication::applicationDirPath())));
        kobal::actor::qt::ActorAppHooks hooks;
        if (testSeed) hooks.paced = std::make_unique<kobal::actor::qt::PacedTimers>(*testSeed);
        if (frameCounter && *frameCounter)
            hooks.wrapWindow = [dir = std::string(frameCounter)](kobal::actor::ActorWindowPort& window) {
                return std::make_unique<kobal::actor::qt::FrameCountingWindow>(window, dir);
            };
        kobal::actor::qt::ActorApp actor(std::move(hooks));
        // A logout or "kill" asks the actor to close, like its window's close request.
        kobal::qt::TerminationHandler terminate([&actor](int signal) { actor.Terminate(signal); });
        actor.Start(commandLine, installPath, kobal::UserPlacesFromEnvironment());
        // What start-up freed goes back to the system once it has settled.
        QTimer::singleShot(2000, [] { malloc_trim(0); });
        return QApplication::exec();
    });
}
