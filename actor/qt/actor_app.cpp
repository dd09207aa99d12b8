#include "actor/qt/actor_app.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "actor/qt/x_support.h"
#include "common/paths.h"
#include "common/qt/process_setup.h"
#include "common/runtime_error.h"

namespace kobal::actor::qt {

ActorApp::ActorApp(ActorAppHooks hooks)
    : windows_([this] { Guard([this] { runtime_->WindowsChanged(); }); },
               [this] { return screen_.TwipsPerDevicePixel(); }, XConnection() != nullptr),
      paced_(std::move(hooks.paced)) {
    timer1_ = std::make_unique<QtTimer>([this] { Guard([this] { runtime_->AnimationTick(); }); });
    timer2_ = std::make_unique<QtTimer>([this] { Guard([this] { runtime_->IdleClockTick(); }); });
    ddetimer_ = std::make_unique<QtTimer>([this] { Guard([this] { runtime_->LinkClockTick(); }); });

    TrayAndMenu::Handlers h;
    auto on = [this](void (ActorRuntime::*handler)()) {
        return [this, handler] { Guard([this, handler] { (runtime_.get()->*handler)(); }); };
    };
    auto chosen = [this](MenuChoice choice) {
        return [this, choice] { Guard([this, choice] { runtime_->MenuChosen(choice); }); };
    };
    h.pActivated = chosen(MenuChoice::pActivated);
    h.pBored = chosen(MenuChoice::pBored);
    h.psleep = chosen(MenuChoice::psleep);
    h.phyber = chosen(MenuChoice::phyber);
    h.Paudioon = chosen(MenuChoice::Paudioon);
    h.paudiooff = chosen(MenuChoice::paudiooff);
    h.pclickthrough = chosen(MenuChoice::pclickthrough);
    h.Helpme = chosen(MenuChoice::Helpme);
    h.Remove = chosen(MenuChoice::Remove);
    h.about = [this] { Guard([this] { ShowAbout(); }); };
    h.doubleClick = on(&ActorRuntime::TrayDoubleClick);
    h.contextMenu = on(&ActorRuntime::TrayContextMenu);
    tray_ = std::make_unique<TrayAndMenu>(std::move(h));

    link_ = std::make_unique<LocalLink>(
        [this](const std::string& text) { Guard([this, &text] { runtime_->LinkTextArrived(text); }); });

    window_.onMouseDown = [this](int b, double x, double y) { Guard([&] { runtime_->MouseDown(b, x, y); }); };
    window_.onMouseMove = [this](int b, double x, double y) { Guard([&] { runtime_->MouseMove(b, x, y); }); };
    window_.onCloseRequest = [this] { Guard([this] { runtime_->CloseRequested(); }); };
    // Without a tray, a right click on the actor opens the same menu, so an
    // actor can always be removed.
    window_.onRightClick = [this] {
        if (!tray_->trayAvailable()) Guard([this] { runtime_->TrayContextMenu(); });
    };

    screen_.onChanged = [this] {
        window_.ScreensChanged();
        Guard([this] { runtime_->ScreensChanged(); });
    };

    ActorPorts ports;
    ports.window = &window_;
    if (hooks.wrapWindow) {
        windowWrapper_ = hooks.wrapWindow(window_);
        ports.window = windowWrapper_.get();
    }
    ports.screen = &screen_;
    ports.timer1 = timer1_.get();
    ports.timer2 = timer2_.get();
    ports.ddetimer = ddetimer_.get();
    ports.tray = tray_.get();
    ports.menu = tray_.get();
    ports.sound = &sound_;
    ports.link = link_.get();
    ports.desktop = &desktop_;
    ports.windows = &windows_;
    ports.messages = &messages_;
    ports.random = &random_;
    ports.clock = &clock_;
    if (paced_) {
        VirtualTimers& v = paced_->timers();
        ports.timer1 = &v.timer1;
        ports.timer2 = &v.timer2;
        ports.ddetimer = &v.ddetimer;
        ports.random = &v.random;
        ports.clock = &v.clock;
        paced_->SetTick([this](FormTimer which) { return PacedTick(which); });
    }
    runtime_ = std::make_unique<ActorRuntime>(ports);
}

ActorApp::~ActorApp() = default;

void ActorApp::Start(const std::string& commandLine, const std::string& installPath, const UserPlaces& user) {
    if (paced_) paced_->StartClock();
    runtime_->SetUserPlaces(user);
    try {
        runtime_->Main(commandLine, installPath);
    } catch (const RuntimeError&) {
        tray_->Remove();
        throw;
    }
    WatchFullscreenWhenAsked();
    FollowWindowsWhenAsked();
    QuietWhileHibernating();
    if (paced_) paced_->Schedule();
}

bool ActorApp::PacedTick(FormTimer which) {
    switch (which) {
        case FormTimer::Timer1: Guard([this] { runtime_->AnimationTick(); }); break;
        case FormTimer::Timer2: Guard([this] { runtime_->IdleClockTick(); }); break;
        case FormTimer::DDETimer: Guard([this] { runtime_->LinkClockTick(); }); break;
    }
    return !ended_;
}

void ActorApp::WatchFullscreenWhenAsked() {
    // Only an actor asked to stay out of the way listens to the window
    // manager; an actor switch may ask for it later.
    if (fullscreen_ || runtime_->settings().hidefullscreen != 1) return;
    fullscreen_ = std::make_unique<FullscreenWatch>(
        [this](bool full) { Guard([this, full] { runtime_->FullscreenChanged(full); }); });
}

void ActorApp::FollowWindowsWhenAsked() {
    // A hibernating actor wakes once a second, not at every move of a
    // window: it stops listening and reads the list again when it wakes.
    const bool floors = runtime_->settings().windowfloors == 1;
    const bool listen = floors && !runtime_->activity().hibernating();
    bool changed = listen != windows_.listening() && windows_.Listen(listen);
    // An actor switched to one without window floors forgets them.
    if (!floors) changed = windows_.Clear() || changed;
    if (changed) runtime_->WindowsChanged();
}

void ActorApp::QuietWhileHibernating() {
    // The window manager rewrites its lists on the root window at every
    // window opened, closed or focused; a hibernating actor wakes once a
    // second, so it stops hearing them and looks again when it wakes.
    const bool quiet = runtime_->activity().hibernating();
    if (quiet == rootQuiet_) return;
    xcb_connection_t* c = XConnection();
    if (!c) return;
    rootQuiet_ = quiet;
    HearRootProperties(c, !quiet);
    window_.SetHibernating(quiet);
    if (quiet) return;
    screen_.CatchUp();
    if (fullscreen_) fullscreen_->CatchUp();
}

void ActorApp::ShowAbout() {
    if (!about_) about_ = std::make_unique<AboutWindow>(runtime_->installdir(), runtime_->LoadAboutLists());
    about_->show();
    about_->raise();
}

void ActorApp::Guard(const std::function<void()>& handler) {
    if (ended_) return;
    try {
        handler();
        WatchFullscreenWhenAsked();
        FollowWindowsWhenAsked();
        QuietWhileHibernating();
        // A click or a link text may have started, stopped or re-timed a timer.
        if (paced_) paced_->Schedule();
    } catch (const ProgramEnd& end) {
        End(end.status);
    } catch (const std::exception& error) {
        // The product was removed under the running actor (its package, say):
        // the actor is not at fault, so it ends without a box.
        if (InstallGone(error)) {
            std::fprintf(stderr, "%s: %s is gone, the actor ends\n", ActorRuntime::kProgramName,
                         NativePath(runtime_->installdir()).c_str());
            End(0);
        }
        // No further tick may run while the message is up.
        ended_ = true;
        timer1_->SetEnabled(false);
        timer2_->SetEnabled(false);
        ddetimer_->SetEnabled(false);
        tray_->Remove();
        messages_.ShowMessage(error.what(), ActorRuntime::kProgramName);
        End(1);
    }
}

bool ActorApp::InstallGone(const std::exception& error) {
    const std::string& dir = runtime_->installdir();
    if (dir.empty()) return false;
    auto gone = [&] { return !DirectoryExists(dir + "resource"); };
    if (gone()) return true;
    // A removal in progress takes the actor's pictures before the resource
    // folder: a file missing below the install directory is looked at again
    // for a moment before it counts as the actor's own fault.
    const auto* missing = dynamic_cast<const RuntimeError*>(&error);
    if (!missing) return false;
    if (missing->number() != ErrorNumber::FileNotFound && missing->number() != ErrorNumber::PathNotFound) return false;
    if (NativePath(missing->file()).rfind(NativePath(dir), 0) != 0) return false;
    timer1_->SetEnabled(false);
    timer2_->SetEnabled(false);
    for (int i = 0; i < 15 && !gone(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return gone();
}

void ActorApp::Terminate(int signal) {
    if (!ended_) CloseRequest();
    End(kobal::qt::TerminatedStatus(signal));
}

void ActorApp::End(int status) {
    // The actor ends at once: nothing is saved and no further event runs.
    ended_ = true;
    tray_->Remove();
    // Members see the hub go now, and its socket file goes with it.
    link_->CloseLink();
    link_->Serve(false);
    std::fflush(nullptr);
    std::_Exit(status);
}

}  // namespace kobal::actor::qt
