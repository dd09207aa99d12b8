#pragma once
// The actor program's logic, one actor per process: wires the owners (the
// player, the behaviours, activity, interaction, the link member and the
// position) and is all the Qt side calls: ticks, mouse, menu choices, link
// texts, screens and fullscreen changes.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "actor/activity.h"
#include "actor/behaviours.h"
#include "actor/interaction.h"
#include "actor/link_member.h"
#include "actor/player.h"
#include "actor/ports.h"
#include "actor/position.h"
#include "actor/window_floors.h"
#include "common/message_box.h"
#include "common/random.h"
#include "common/settings.h"
#include "common/user_places.h"

namespace kobal::actor {

struct ActorPorts {
    ActorWindowPort* window = nullptr;
    ScreenPort* screen = nullptr;
    TimerPort* timer1 = nullptr;    // the animation tick
    TimerPort* timer2 = nullptr;    // the idle clock
    TimerPort* ddetimer = nullptr;  // the link clock
    TrayPort* tray = nullptr;
    MenuPort* menu = nullptr;
    SoundPort* sound = nullptr;
    LinkPort* link = nullptr;
    DesktopPort* desktop = nullptr;
    WindowsPort* windows = nullptr;  // none: the monitors' edges are the only floors
    MessageBoxPort* messages = nullptr;
    RandomSource* random = nullptr;
    Clock* clock = nullptr;
};

// What the About window shows; filled once, when it is first loaded.
struct AboutLists {
    std::vector<std::string> List1;  // software information
    std::vector<std::string> List2;  // actor information
};

// The popup menu `taskpopup` as the user chooses from it.
enum class MenuChoice { pActivated, pBored, psleep, phyber, Paudioon, paudiooff, pclickthrough, Helpme, Remove };

namespace testing {
class RuntimeAccess;
}

class ActorRuntime final : private PlayerHost, private BehaviourHost, private LinkHost {
  public:
    static constexpr const char* kProgramName = "kobalactor";

    explicit ActorRuntime(const ActorPorts& ports);
    ~ActorRuntime() override;
    ActorRuntime(const ActorRuntime&) = delete;
    ActorRuntime& operator=(const ActorRuntime&) = delete;

    // The user's own settings file and actor folder; none in tests.
    void SetUserPlaces(const UserPlaces& user) { user_ = user; }
    // Start-up (form Actor's Main). installPath: the install path setting
    // (or its default), without "\".
    void Main(const std::string& commandLine, const std::string& installPath);

    void AnimationTick();                            // classic Timer1_Timer
    void IdleClockTick();                            // classic Timer2_Timer
    void LinkClockTick();                            // classic DDETimer_Timer
    void LinkTextArrived(const std::string& text);   // classic DDEline_Change
    void MouseDown(int button, double x, double y);  // classic Form_MouseDown
    void MouseMove(int buttons, double x, double y);
    void CloseRequested();  // classic Form_QueryUnload: ends the actor
    void TrayDoubleClick();
    void TrayContextMenu();
    void MenuChosen(MenuChoice choice);
    // The monitors changed: an actor stranded on none comes back.
    void ScreensChanged();
    void FullscreenChanged(bool active);
    // Other programs' windows opened, closed, moved or restacked: an actor
    // standing on one rides it or falls. Nothing while the actor hibernates,
    // hides for a fullscreen window or has no window yet.
    void WindowsChanged();
    // Told of every landing on a window and every fall from one.
    void SetFloorListener(std::function<void(const FloorNote&)> listener) { floors_.SetListener(std::move(listener)); }

    // The About window's lists, read on its first load.
    AboutLists LoadAboutLists();
    // Where the help page lives, for the adapter's "Help" item.
    std::string HelpPagePath() const;
    const std::string& installdir() const { return installdir_; }
    bool windowLoaded() const { return windowLoaded_; }

    // What the owners show, for the timeline and the tests.
    const SettingStore& settings() const { return settings_; }
    const Position& position() const { return position_; }
    const Player& player() const { return player_; }
    const Behaviours& behaviours() const { return behaviours_; }
    const Activity& activity() const { return activity_; }
    const Interaction& interaction() const { return interaction_; }
    const WindowFloors& floors() const { return floors_; }
    const LinkMember& link() const { return link_; }

  private:
    friend class testing::RuntimeAccess;

    void LoadSettings();
    void EnsureWindowLoaded() override;
    void GoSystemTray();
    [[noreturn]] void EndActor() override;  // removes the tray icon and ends: throws ProgramEnd{0}
    void SwitchActor(const std::string& actorfile) override;
    void PlayNext() override;
    void SendLinkMessage(const std::string& text) override { link_.SendLinkMessage(text); }
    void StartBehaviour(int16_t type, int16_t count, const std::optional<std::string>& args,
                        const std::string& next) override {
        behaviours_.Start(type, count, args, next);
    }
    bool AnimationStartsOver() override { return behaviours_.AnimationStartsOver(); }
    void PlayListFromLink(std::string& list) override;

    ActorPorts ports_;
    SettingStore settings_{SettingStore::Program::Actor};
    std::string installdir_;
    UserPlaces user_;
    bool windowLoaded_ = false;
    Position position_;
    WindowFloors floors_;
    Player player_;
    Behaviours behaviours_;
    Activity activity_;
    Interaction interaction_;
    LinkMember link_;
};

}  // namespace kobal::actor
