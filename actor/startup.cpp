// Start-up, the window load step, the actor switch and the end of an actor.
#include "actor/actor_runtime.h"
#include "common/numbers.h"
#include "common/paths.h"
#include "common/runtime_error.h"
#include "common/user_places.h"

namespace kobal::actor {

ActorRuntime::ActorRuntime(const ActorPorts& ports) : ports_(ports) {}
ActorRuntime::~ActorRuntime() = default;

std::string ActorRuntime::ActorFile(const std::string& name) const {
    return ResolvePath(settings.actorpath + name);
}

std::string ActorRuntime::HelpPagePath() const {
    return ResolvePath(installdir + "resource\\help\\index.html");
}

void ActorRuntime::Main(const std::string& commandLine, const std::string& installPath) {
    settings.actorpath = commandLine;
    if (commandLine.empty() || !FileExists(commandLine)) {
        ports_.messages->ShowMessage("This program is used by Kobaltron, Do not run it manually!", "!");
        throw ProgramEnd{1};
    }
    installdir = installPath + "\\";
    if (!FileExists(installdir + "resource\\kobalactor")) {
        ports_.messages->ShowMessage("Cannot find the application, Please run kobalconfig", "!");
        throw ProgramEnd{1};
    }
    ports_.random->Seed(ports_.clock->SecondsSinceMidnight());
    settings.actorpath = commandLine;
    LoadSettings();

    // The centre of the primary screen.
    const ScreenRect primary = ports_.screen->Monitor(0);
    actorx = RoundToInt32(primary.left + primary.width / 2 - settings.actorwidth / 2.0);
    actory = RoundToInt32(primary.top + primary.height / 2 - settings.actorheight / 2.0);

    EnsureWindowLoaded();
    ports_.window->Show();
}

void ActorRuntime::LoadSettings() {
    // A relative name found in the working directory is read below the
    // install directory, or where it was found when the install has none.
    if (!IsAbsolutePath(settings.actorpath))
        settings.actorpath = ActorFileFromWorkingDirectory(settings.actorpath, installdir);
    ReadSettingsFile(settings, SettingsFileToRead(installdir, user), 1, LoopShape::Actor);
    const std::string actorfile = settings.actorpath;
    ReadSettingsFile(settings, actorfile, settings.overrideactor == 1 ? 2 : 1, LoopShape::Actor);
    settings.actorpath = ResolveActorPath(settings.actorpath, installdir, actorfile, settings.iconfile, user);

    if (settings.audioon == 0) paudiooff_Click();
    else if (settings.audioon == 1) Paudioon_Click();

    switch (settings.initialpriority) {
        case 0:
            idlecount = 0;
            statefile = settings.activefile;
            break;
        case 1:
            idlecount = settings.boredtime;
            statefile = settings.boredfile;
            break;
        case 2:
            idlecount = settings.sleeptime;
            statefile = settings.sleepfile;
            break;
        case 3:
            idlecount = RoundToInt16(settings.hibernatetime - 1.0);
            statefile = settings.sleepfile;
            break;
        default: break;
    }
    PlayNext();
}

void ActorRuntime::EnsureWindowLoaded() {
    if (windowLoaded_) return;
    windowLoaded_ = true;
    ports_.window->SetSize(settings.actorwidth, settings.actorheight);
    ports_.window->SetIcon(ActorFile(settings.iconfile));
    ports_.window->SetCaption(settings.actorname);
    // The form's timers run from its load: Timer1 at 25 ms until a frame
    // sets the animation's speed, the idle clock and the link clock at 1 s.
    ports_.timer1->SetInterval(25);
    ports_.timer1->SetEnabled(true);
    ports_.timer2->SetInterval(1000);
    ports_.timer2->SetEnabled(true);
    ports_.ddetimer->SetInterval(1000);
    ports_.ddetimer->SetEnabled(true);
    GoSystemTray();
    JoinActorLink();
}

void ActorRuntime::GoSystemTray() {
    ports_.tray->Add(ActorFile(settings.iconfile), settings.actorname);
    ports_.window->Hide();
}

void ActorRuntime::EndActor() {
    ports_.tray->Remove();
    throw ProgramEnd{0};
}

void ActorRuntime::SwitchActor(const std::string& actorfile) {
    settings.actorpath = actorfile;
    if (!IsAbsolutePath(settings.actorpath)) settings.actorpath = installdir + settings.actorpath;
    const int16_t keptIdle = idlecount;
    const int16_t keptAudio = settings.audioon;
    LoadSettings();
    EnsureWindowLoaded();
    ports_.window->SetIcon(ActorFile(settings.iconfile));
    ports_.window->SetCaption(settings.actorname);
    ports_.tray->Remove();
    ports_.tray->Add(ActorFile(settings.iconfile), settings.actorname);
    idlecount = keptIdle;
    settings.audioon = keptAudio;
    if (settings.audioon == 0) paudiooff_Click();
    else if (settings.audioon == 1) Paudioon_Click();
}

void ActorRuntime::Form_QueryUnload() {
    EndActor();
}

}  // namespace kobal::actor
