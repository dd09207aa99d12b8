#pragma once
// Wires the actor's logic to its Qt window, timers, tray, sound and link.
// Every event reaches the logic through Guard, which turns the end of the
// actor or a run-time error into the end of the process.
#include <functional>
#include <memory>

#include "actor/actor_runtime.h"
#include "actor/qt/about_window.h"
#include "actor/qt/actor_window.h"
#include "actor/qt/fullscreen_watch.h"
#include "actor/qt/local_link.h"
#include "actor/qt/paced_timers.h"
#include "actor/qt/qt_ports.h"
#include "actor/qt/window_list.h"
#include "common/qt/qt_support.h"

namespace kobal::actor::qt {

// What main puts between the logic and the desktop, for tests and
// benchmarks only.
struct ActorAppHooks {
    // Stands between the logic and its window (the frame counter).
    std::function<std::unique_ptr<ActorWindowPort>(ActorWindowPort& window)> wrapWindow;
    // The timers, random numbers and clock on a virtual clock.
    std::unique_ptr<PacedTimers> paced;
};

class ActorApp {
  public:
    explicit ActorApp(ActorAppHooks hooks = {});
    ~ActorApp();
    // Runs Main; a start-up refusal or error throws to the caller.
    void Start(const std::string& commandLine, const std::string& installPath, const UserPlaces& user = {});

    // The window's close request.
    void CloseRequest() {
        Guard([this] { runtime_->CloseRequested(); });
    }
    // SIGTERM or SIGHUP: the close request; with an error box up, the end
    // the box was waiting for.
    void Terminate(int signal);

  private:
    void Guard(const std::function<void()>& handler);
    [[noreturn]] void End(int status);
    // The install directory has gone, or goes within a moment of the error.
    bool InstallGone(const std::exception& error);
    void ShowAbout();
    void WatchFullscreenWhenAsked();
    // Hears of other programs' windows while they are floors and the actor
    // is awake.
    void FollowWindowsWhenAsked();
    // A hibernating actor stops hearing the root window's property changes.
    void QuietWhileHibernating();
    // A tick of the paced timers; false once the actor has ended.
    bool PacedTick(FormTimer which);

    ActorWindow window_;
    std::unique_ptr<ActorWindowPort> windowWrapper_;
    QtScreen screen_;
    WindowList windows_;
    std::unique_ptr<QtTimer> timer1_, timer2_, ddetimer_;
    std::unique_ptr<TrayAndMenu> tray_;
    QtSound sound_;
    QtDesktop desktop_;
    std::unique_ptr<LocalLink> link_;
    kobal::qt::QtMessageBoxes messages_;
    ClassicRandom random_;
    SystemClock clock_;
    std::unique_ptr<ActorRuntime> runtime_;
    std::unique_ptr<AboutWindow> about_;
    std::unique_ptr<FullscreenWatch> fullscreen_;
    bool rootQuiet_ = false;
    bool ended_ = false;
    std::unique_ptr<PacedTimers> paced_;
};

}  // namespace kobal::actor::qt
