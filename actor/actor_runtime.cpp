// Start-up, the window load step, the actor switch, the end of an actor,
// and the events the Qt side forwards.
#include "actor/actor_runtime.h"

#include "common/line_reader.h"
#include "common/numbers.h"
#include "common/paths.h"
#include "common/runtime_error.h"
#include "common/user_places.h"

namespace kobal::actor {

ActorRuntime::ActorRuntime(const ActorPorts& ports)
    : ports_(ports),
      position_(*ports.screen),
      floors_(settings_, ports.windows),
      player_(settings_, position_, *ports.window, *ports.screen, *ports.timer1, *ports.sound, *ports.random, *this),
      behaviours_(settings_, position_, player_, *ports.random, *this, floors_),
      activity_(settings_, player_, *ports.timer1, *ports.timer2, *ports.menu),
      interaction_(settings_, position_, activity_, player_, *ports.window, *ports.menu),
      link_(settings_, *ports.link, *ports.random, *this) {}

ActorRuntime::~ActorRuntime() = default;

std::string ActorRuntime::HelpPagePath() const {
    return ResolvePath(installdir_ + "resource\\help\\index.html");
}

void ActorRuntime::Main(const std::string& commandLine, const std::string& installPath) {
    settings_.actorpath = commandLine;
    if (commandLine.empty() || !FileExists(commandLine)) {
        ports_.messages->ShowMessage("This program is used by Kobaltron, Do not run it manually!", "!");
        throw ProgramEnd{1};
    }
    installdir_ = installPath + "\\";
    if (!FileExists(installdir_ + "resource\\kobalactor")) {
        ports_.messages->ShowMessage("Cannot find the application, Please run kobalconfig", "!");
        throw ProgramEnd{1};
    }
    ports_.random->Seed(ports_.clock->SecondsSinceMidnight());
    settings_.actorpath = commandLine;
    LoadSettings();

    position_.CentreOn(ports_.screen->Monitor(0), player_.widthTwips(), player_.heightTwips());

    EnsureWindowLoaded();
    ports_.window->Show();
}

void ActorRuntime::LoadSettings() {
    // A relative name found in the working directory is read below the
    // install directory, or where it was found when the install has none.
    if (!IsAbsolutePath(settings_.actorpath))
        settings_.actorpath = ActorFileFromWorkingDirectory(settings_.actorpath, installdir_);
    ReadSettingsFile(settings_, SettingsFileToRead(installdir_, user_), 1, LoopShape::Actor);
    const std::string actorfile = settings_.actorpath;
    ReadSettingsFile(settings_, actorfile, settings_.overrideactor == 1 ? 2 : 1, LoopShape::Actor);
    settings_.actorpath = ResolveActorPath(settings_.actorpath, installdir_, actorfile, settings_.iconfile, user_);

    interaction_.ShowAudioChecks();
    activity_.StartIn(settings_.initialpriority);
    PlayNext();
}

void ActorRuntime::PlayNext() {
    if (!behaviours_.nextfile().empty()) {
        behaviours_.PlayNextList();
        return;
    }
    ports_.random->Seed(ports_.clock->SecondsSinceMidnight());
    activity_.PlayStateList();
}

void ActorRuntime::EnsureWindowLoaded() {
    if (windowLoaded_) return;
    windowLoaded_ = true;
    ports_.window->SetSize(player_.widthTwips(), player_.heightTwips());
    ports_.window->SetIcon(player_.ActorFile(settings_.iconfile));
    ports_.window->SetCaption(settings_.actorname);
    // The form's timers run from its load: the animation tick at 25 ms until
    // a frame sets the animation's speed, the idle and link clocks at 1 s.
    ports_.timer1->SetInterval(25);
    ports_.timer1->SetEnabled(true);
    ports_.timer2->SetInterval(1000);
    ports_.timer2->SetEnabled(true);
    ports_.ddetimer->SetInterval(1000);
    ports_.ddetimer->SetEnabled(true);
    GoSystemTray();
    link_.JoinActorLink();
}

void ActorRuntime::GoSystemTray() {
    ports_.tray->Add(player_.ActorFile(settings_.iconfile), settings_.actorname);
    ports_.window->Hide();
}

void ActorRuntime::EndActor() {
    ports_.tray->Remove();
    throw ProgramEnd{0};
}

void ActorRuntime::SwitchActor(const std::string& actorfile) {
    settings_.actorpath = actorfile;
    if (!IsAbsolutePath(settings_.actorpath)) settings_.actorpath = installdir_ + settings_.actorpath;
    const int16_t keptIdle = activity_.idlecount();
    const int16_t keptAudio = settings_.audioon;
    LoadSettings();
    EnsureWindowLoaded();
    ports_.window->SetIcon(player_.ActorFile(settings_.iconfile));
    ports_.window->SetCaption(settings_.actorname);
    ports_.tray->Remove();
    ports_.tray->Add(player_.ActorFile(settings_.iconfile), settings_.actorname);
    activity_.KeepIdleCount(keptIdle);
    settings_.audioon = keptAudio;
    interaction_.ShowAudioChecks();
}

void ActorRuntime::PlayListFromLink(std::string& list) {
    // Everything a list may change, put back when it fails, so a bad message
    // from another actor leaves this one as it was.
    SettingStore settings = settings_;
    const int32_t x = position_.x(), y = position_.y();
    Activity::Saved activity = activity_.Save();
    Behaviours::Saved behaviours = behaviours_.Save();
    Player::Saved player = player_.Save();
    const WindowFloors::Saved floors = floors_.Save();
    player_.KeepClosedFiles(true);
    try {
        player_.PlayRandomChoice(list);
    } catch (const RuntimeError&) {
        settings_ = std::move(settings);
        position_.MoveTo(x, y);
        activity_.Restore(std::move(activity));
        behaviours_.Restore(std::move(behaviours));
        player_.Restore(player);
        floors_.Restore(floors);
        return;
    } catch (...) {
        player_.KeepClosedFiles(false);
        throw;
    }
    player_.KeepClosedFiles(false);
}

void ActorRuntime::AnimationTick() {
    behaviours_.Tick();
}

void ActorRuntime::IdleClockTick() {
    activity_.IdleClockTick();
}

void ActorRuntime::LinkClockTick() {
    link_.LinkClockTick();
}

void ActorRuntime::LinkTextArrived(const std::string& text) {
    link_.TextArrived(text);
}

void ActorRuntime::MouseDown(int button, double x, double y) {
    interaction_.MouseDown(button, x, y);
}

void ActorRuntime::MouseMove(int buttons, double x, double y) {
    interaction_.MouseMove(buttons, x, y);
}

void ActorRuntime::CloseRequested() {
    EndActor();
}

void ActorRuntime::TrayDoubleClick() {
    interaction_.TrayDoubleClick();
}

void ActorRuntime::TrayContextMenu() {
    interaction_.TrayContextMenu();
}

void ActorRuntime::MenuChosen(MenuChoice choice) {
    switch (choice) {
        case MenuChoice::pActivated: activity_.pActivated_Click(); break;
        case MenuChoice::pBored: activity_.pBored_Click(); break;
        case MenuChoice::psleep: activity_.psleep_Click(); break;
        case MenuChoice::phyber: activity_.phyber_Click(); break;
        case MenuChoice::Paudioon: interaction_.Paudioon_Click(); break;
        case MenuChoice::paudiooff: interaction_.paudiooff_Click(); break;
        case MenuChoice::pclickthrough: interaction_.pclickthrough_Click(); break;
        case MenuChoice::Helpme: ports_.desktop->OpenDocument(HelpPagePath()); break;
        case MenuChoice::Remove: EndActor();
    }
}

void ActorRuntime::ScreensChanged() {
    // The window follows at once.
    if (position_.ScreensChanged(player_.widthTwips(), player_.heightTwips()) && windowLoaded_)
        ports_.window->Move(position_.x(), position_.y());
}

void ActorRuntime::FullscreenChanged(bool active) {
    interaction_.FullscreenChanged(active);
    floors_.SetHidden(interaction_.hiddenForFullscreen());
}

void ActorRuntime::WindowsChanged() {
    if (!windowLoaded_ || activity_.hibernating() || interaction_.hiddenForFullscreen() || !floors_.standing()) return;
    const int32_t x = position_.x(), y = position_.y();
    behaviours_.FollowFloor();
    // A ride shows at once, not at the next frame.
    if (position_.x() != x || position_.y() != y) ports_.window->Move(position_.x(), position_.y());
}

static std::vector<std::string> ReadAllLines(const std::string& path) {
    std::vector<std::string> lines;
    LineReader reader(path);
    while (!reader.AtEnd()) lines.push_back(reader.ReadLine());
    return lines;
}

AboutLists ActorRuntime::LoadAboutLists() {
    AboutLists lists;
    const std::string info = installdir_ + "resource\\info.txt";
    if (FileExists(info)) {
        lists.List1 = ReadAllLines(info);
    } else {
        ports_.messages->ShowMessage(
            "Warning: The info.txt file could not be found, please check the appication path is correct "
            "and the program has been installed properly.",
            kProgramName);
    }
    const std::string actorinfo = settings_.actorpath + settings_.infofile;
    if (FileExists(actorinfo)) lists.List2 = ReadAllLines(actorinfo);
    else lists.List2.push_back(settings_.actorname + ": No information Available");
    return lists;
}

}  // namespace kobal::actor
