#include "launcher/qt/launcher_ports.h"

#include <QProcess>
#include <cstdlib>
#include <filesystem>

#include "common/paths.h"
#include "common/qt/display_check.h"
#include "common/qt/fit_text.h"
#include "common/qt/process_setup.h"
#include "common/runtime_error.h"
#include "launcher/qt/splash_window.h"

namespace kobal::launcher::qt {

using kobal::qt::Q;

LazyApplication::~LazyApplication() = default;

static bool HasEnv(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

bool LazyApplication::Ensure(bool exitWithoutDisplay) {
    if (app_) return true;
    // The splash is placed at an absolute position: run through X (XWayland
    // on a Wayland desktop) when no platform was chosen.
    const bool choosePlatform = !HasEnv("QT_QPA_PLATFORM");
    argc_ = 0;
    argv_[argc_++] = programName_.data();
    if (choosePlatform) {
        argv_[argc_++] = platformOption_.data();
        argv_[argc_++] = platformName_.data();
    }
    // Qt aborts on a display it cannot reach; that is "no display" here.
    kobal::qt::DisplayGuard guard("kobaltron", argc_, argv_, exitWithoutDisplay);
    if (guard.problem()) return false;
    // The command line is not handed to Qt: an actor file named like a Qt
    // option must stay an actor file.
    app_ = std::make_unique<QApplication>(argc_, argv_);
    // From now on a signal also ends a splash or box that is up.
    kobal::qt::WatchTerminationOnEventLoop();
    QApplication::setWindowIcon(kobal::qt::ProductIcon());
    return true;
}

void LazyApplication::EnsureForDialogs() {
    if (!kobal::qt::DialogsSuppressed()) Ensure();
}

void LauncherMessageBoxes::ShowMessage(const std::string& text, const std::string& title) {
    app_.EnsureForDialogs();
    boxes_.ShowMessage(text, title);
}

bool LauncherMessageBoxes::AskOkCancel(const std::string& text, const std::string& title) {
    app_.EnsureForDialogs();
    return boxes_.AskOkCancel(text, title);
}

bool LauncherMessageBoxes::AskYesNo(const std::string& text, const std::string& title) {
    app_.EnsureForDialogs();
    return boxes_.AskYesNo(text, title);
}

void QtProcessStarter::StartProcess(const std::string& program, const std::string& actorfile) {
    if (QProcess::startDetached(Q(program), {Q(actorfile)})) return;
    if (!FileExists(program)) throw RuntimeError(ErrorNumber::FileNotFound, program);
    throw RuntimeError(ErrorNumber::PermissionDenied, program, 0, "cannot be started");
}

void QtSplash::ShowSplash(const SplashContent& content) {
    // Without a display there is no splash and no actor to start after it.
    app_.Ensure(true);
    SplashWindow splash;
    splash.Load(content);
    splash.exec();
}

std::string ProgramDirectory(const std::string& argv0) {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) return exe.parent_path().string();
    return std::filesystem::absolute(argv0, ec).parent_path().string();
}

}  // namespace kobal::launcher::qt
